#pragma once

#include <bit>
#include <cstdint>

namespace sonari {

static_assert(std::endian::native == std::endian::little,
              "wave format records are read and written as little-endian bytes");

#pragma pack(push, 1)
struct TGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    bool operator==(const TGuid&) const = default;
};

// The 40-byte extensible wave format record; its first 18 bytes are the plain record.
struct TWaveFormatExtensible {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
    uint16_t wValidBitsPerSample;
    uint32_t dwChannelMask;
    TGuid SubFormat;
};
#pragma pack(pop)

static_assert(sizeof(TGuid) == 16);
static_assert(sizeof(TWaveFormatExtensible) == 40);

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
constexpr uint16_t kWaveFormatExSize = 18;    // the plain record with cbSize
constexpr uint16_t kExtensibleExtraSize = 22; // cbSize of the extensible record

constexpr TGuid KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr TGuid KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Samples are IEEE floats: tag 3, or extensible with the float sub-format.
inline bool IsFloatFormat(const TWaveFormatExtensible& format) {
    return format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
           (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
            format.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
}

} // namespace sonari
