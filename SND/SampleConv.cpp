#include "SND/SampleConv.h"

#include "SND/Exceptions.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/SampleConv";

struct TLayout {
    size_t channels;
    size_t blockAlign;
    size_t sampleBytes;
    size_t frames;
    bool isFloat;
    int bits;
};

// Frame layout of a block; a record whose channels do not fit its block alignment would make
// the conversion read or write outside the buffers, so it is a violated precondition.
TLayout LayoutOf(size_t byteCount, const TWaveFormatExtensible& format) {
    TLayout layout{
        format.nChannels,      format.nBlockAlign,   size_t{format.wBitsPerSample} / 8, 0,
        IsFloatFormat(format), format.wBitsPerSample};
    Assert(layout.blockAlign > 0 && layout.channels * layout.sampleBytes <= layout.blockAlign,
           kSource);
    layout.frames = byteCount / layout.blockAlign;
    return layout;
}

void CheckChannels(const TDataBufferF& data, const TLayout& layout) {
    Assert(data.size() >= layout.channels, kSource);
    for (size_t c = 0; c < layout.channels; ++c)
        Assert(data[c].size() >= layout.frames, kSource);
}

int32_t LoadLe(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= uint32_t{p[i]} << (8 * i);
    return static_cast<int32_t>(v);
}

void StoreLe(uint8_t* p, uint32_t v, size_t n) {
    for (size_t i = 0; i < n; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Round half to even, keeping the low 32 bits of the 64-bit result.
int32_t RoundLow32(float x, int32_t bits) {
    double r = std::nearbyint(static_cast<double>(x));
    if (!(std::fabs(r) < 9223372036854775808.0))
        throw ERangeError("Range check error");
    int64_t wide = static_cast<int64_t>(r);
    if (bits == 32 && (wide < INT32_MIN || wide > INT32_MAX))
        throw ERangeError("Range check error");
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

bool IsSupportedWidth(bool isFloat, int bits) {
    return isFloat ? bits == 32 : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

// The layout of a conversion, or nothing for a sample width the conversions don't handle.
std::optional<TLayout> CheckedLayout(size_t byteCount, const TDataBufferF& data,
                                     const TWaveFormatExtensible& format) {
    TLayout layout = LayoutOf(byteCount, format);
    if (!IsSupportedWidth(layout.isFloat, layout.bits))
        return std::nullopt;
    CheckChannels(data, layout);
    return layout;
}

} // namespace

void BytesToFloats(const TByteArray& bytes, TDataBufferF& data,
                   const TWaveFormatExtensible& format) {
    const std::optional<TLayout> layout = CheckedLayout(bytes.size(), data, format);
    if (!layout)
        return;

    int validBits = layout->bits;
    if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.SubFormat == KSDATAFORMAT_SUBTYPE_PCM)
        validBits = format.wValidBitsPerSample;
    // Extensible PCM may carry fewer valid bits than the container; the rest are cleared.
    const uint32_t mask = (validBits > 0 && validBits < 32) ? ~0u << (32 - validBits) : ~0u;

    for (size_t c = 0; c < layout->channels; ++c) {
        float* out = data[c].data();
        const uint8_t* p = bytes.data() + c * layout->sampleBytes;
        for (size_t f = 0; f < layout->frames; ++f, p += layout->blockAlign) {
            if (layout->isFloat) {
                std::memcpy(&out[f], p, sizeof(float));
                continue;
            }
            int32_t v;
            switch (layout->bits) {
            case 8:
                v = (int32_t{p[0]} - 128) * (1 << 24);
                break;
            case 16:
                v = static_cast<int32_t>(static_cast<uint32_t>(LoadLe(p, 2)) << 16);
                break;
            case 24:
                v = static_cast<int32_t>((static_cast<uint32_t>(LoadLe(p, 3)) << 8) & mask);
                break;
            default:
                v = LoadLe(p, 4);
                break;
            }
            out[f] = static_cast<float>(v);
        }
    }
}

void FloatsToBytes(const TDataBufferF& data, TByteArray& bytes,
                   const TWaveFormatExtensible& format) {
    const std::optional<TLayout> layout = CheckedLayout(bytes.size(), data, format);
    if (!layout)
        return;

    for (size_t c = 0; c < layout->channels; ++c) {
        const float* in = data[c].data();
        uint8_t* p = bytes.data() + c * layout->sampleBytes;
        for (size_t f = 0; f < layout->frames; ++f, p += layout->blockAlign) {
            if (layout->isFloat) {
                std::memcpy(p, &in[f], sizeof(float));
                continue;
            }
            const int32_t r = RoundLow32(in[f], layout->bits);
            switch (layout->bits) {
            case 8:
                p[0] = static_cast<uint8_t>(r / (1 << 24) + 128);
                break;
            case 16:
                StoreLe(p, static_cast<uint32_t>(r / (1 << 16)), 2);
                break;
            case 24:
                StoreLe(p, static_cast<uint32_t>(r >> 8), 3); // arithmetic: toward minus infinity
                break;
            default:
                StoreLe(p, static_cast<uint32_t>(r), 4);
                break;
            }
        }
    }
}

} // namespace sonari
