#include "SND/SampleConv.h"

#include "SND/Exceptions.h"

#include <cmath>
#include <cstring>
#include <emmintrin.h>
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

// One channel of `frames` interleaved frames, `stride` bytes apart, to floats.
template <typename Decode>
void DecodeChannel(const uint8_t* p, size_t stride, size_t frames, float* out, Decode decode) {
    for (size_t f = 0; f < frames; ++f, p += stride)
        out[f] = static_cast<float>(decode(p));
}

// Packed 16-bit samples, eight at a time: x << 16 is exact in a float.
void Decode16(const uint8_t* p, size_t frames, float* out) {
    size_t f = 0;
    for (; f + 8 <= frames; f += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * f));
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_ps(out + f, _mm_cvtepi32_ps(_mm_unpacklo_epi16(zero, x)));
        _mm_storeu_ps(out + f + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(zero, x)));
    }
    DecodeChannel(p + 2 * f, 2, frames - f, out + f, [](const uint8_t* q) {
        return static_cast<int32_t>(static_cast<uint32_t>(LoadLe(q, 2)) << 16);
    });
}

// Packed samples to 16 bits, eight at a time while they lie within -2^31 .. 2^31 (where
// rounding to a 32-bit integer needs no wrap); the rest, NaN included, one at a time.
template <typename Encode>
void Encode16(const float* in, size_t frames, uint8_t* p, Encode encode) {
    const __m128 lo = _mm_set1_ps(-2147483648.0f), hi = _mm_set1_ps(2147483648.0f);
    const __m128i lowHalf = _mm_set1_epi32(0xFFFF);
    size_t f = 0;
    for (; f + 8 <= frames; f += 8) {
        const __m128 a = _mm_loadu_ps(in + f), b = _mm_loadu_ps(in + f + 4);
        const __m128 inside = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(a, lo), _mm_cmplt_ps(a, hi)),
                                         _mm_and_ps(_mm_cmpge_ps(b, lo), _mm_cmplt_ps(b, hi)));
        if (_mm_movemask_ps(inside) != 0xF)
            break;
        // nearest integer, ties to even, then r / 2^16 toward zero
        __m128i ra = _mm_cvtps_epi32(a), rb = _mm_cvtps_epi32(b);
        ra = _mm_srai_epi32(_mm_add_epi32(ra, _mm_and_si128(_mm_srai_epi32(ra, 31), lowHalf)), 16);
        rb = _mm_srai_epi32(_mm_add_epi32(rb, _mm_and_si128(_mm_srai_epi32(rb, 31), lowHalf)), 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 2 * f), _mm_packs_epi32(ra, rb));
    }
    for (; f < frames; ++f)
        encode(in[f], p + 2 * f);
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

    const size_t stride = layout->blockAlign, frames = layout->frames;
    for (size_t c = 0; c < layout->channels; ++c) {
        float* out = data[c].data();
        const uint8_t* p = bytes.data() + c * layout->sampleBytes;
        if (layout->isFloat) {
            DecodeChannel(p, stride, frames, out, [](const uint8_t* q) {
                float x;
                std::memcpy(&x, q, sizeof x);
                return x;
            });
            continue;
        }
        switch (layout->bits) {
        case 8:
            DecodeChannel(p, stride, frames, out,
                          [](const uint8_t* q) { return (int32_t{q[0]} - 128) * (1 << 24); });
            break;
        case 16:
            if (stride == 2) {
                Decode16(p, frames, out);
                break;
            }
            DecodeChannel(p, stride, frames, out, [](const uint8_t* q) {
                return static_cast<int32_t>(static_cast<uint32_t>(LoadLe(q, 2)) << 16);
            });
            break;
        case 24:
            DecodeChannel(p, stride, frames, out, [mask](const uint8_t* q) {
                return static_cast<int32_t>((static_cast<uint32_t>(LoadLe(q, 3)) << 8) & mask);
            });
            break;
        default:
            DecodeChannel(p, stride, frames, out, [](const uint8_t* q) { return LoadLe(q, 4); });
            break;
        }
    }
}

void FloatsToBytes(const TDataBufferF& data, TByteArray& bytes,
                   const TWaveFormatExtensible& format) {
    const std::optional<TLayout> layout = CheckedLayout(bytes.size(), data, format);
    if (!layout)
        return;

    const size_t stride = layout->blockAlign, frames = layout->frames;
    const int bits = layout->bits;
    for (size_t c = 0; c < layout->channels; ++c) {
        const float* in = data[c].data();
        uint8_t* p = bytes.data() + c * layout->sampleBytes;
        if (layout->isFloat) {
            for (size_t f = 0; f < frames; ++f, p += stride)
                std::memcpy(p, &in[f], sizeof(float));
            continue;
        }
        switch (bits) {
        case 8:
            for (size_t f = 0; f < frames; ++f, p += stride)
                p[0] = static_cast<uint8_t>(RoundLow32(in[f], bits) / (1 << 24) + 128);
            break;
        case 16: {
            const auto encode = [](float x, uint8_t* q) {
                StoreLe(q, static_cast<uint32_t>(RoundLow32(x, 16) / (1 << 16)), 2);
            };
            if (stride == 2) {
                Encode16(in, frames, p, encode);
                break;
            }
            for (size_t f = 0; f < frames; ++f, p += stride)
                encode(in[f], p);
            break;
        }
        case 24: // arithmetic shift: toward minus infinity
            for (size_t f = 0; f < frames; ++f, p += stride)
                StoreLe(p, static_cast<uint32_t>(RoundLow32(in[f], bits) >> 8), 3);
            break;
        default:
            for (size_t f = 0; f < frames; ++f, p += stride)
                StoreLe(p, static_cast<uint32_t>(RoundLow32(in[f], bits)), 4);
            break;
        }
    }
}

} // namespace sonari
