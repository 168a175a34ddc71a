#include "SND/SampleConv.h"

#include "SND/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace sonari {
namespace {

TWaveFormatExtensible PcmFormat(int channels, int bits) {
    TWaveFormatExtensible f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<uint16_t>(channels);
    f.wBitsPerSample = static_cast<uint16_t>(bits);
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    return f;
}

TWaveFormatExtensible ExtensiblePcm(int channels, int bits, int validBits) {
    TWaveFormatExtensible f = PcmFormat(channels, bits);
    f.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.cbSize = kExtensibleExtraSize;
    f.wValidBitsPerSample = static_cast<uint16_t>(validBits);
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

float DecodeOne(const TWaveFormatExtensible& f, TByteArray bytes) {
    TDataBufferF data(f.nChannels, TSingleArray(1, 12345.0f));
    BytesToFloats(bytes, data, f);
    return data[0][0];
}

TByteArray EncodeOne(const TWaveFormatExtensible& f, float x) {
    TDataBufferF data(1, TSingleArray{x});
    TByteArray bytes(f.nBlockAlign, 0xAA);
    FloatsToBytes(data, bytes, f);
    return bytes;
}

TEST(SampleConversion, IntegerSamplesLandOnTheTopOfA32BitIntegerWithOnlyTheValidBits) {
    EXPECT_EQ(DecodeOne(PcmFormat(1, 8), {0x80}), 0.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 8), {0x00}), -2147483648.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 8), {0xFF}), 2130706432.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 16), {0xFF, 0x7F}), 2147418112.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 16), {0x00, 0x80}), -2147483648.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 24), {0x00, 0x00, 0x80}), -2147483648.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 32), {0x01, 0x00, 0x00, 0x00}), 1.0f);
    // 0x7FFFFF in 24 bits with 20 valid bits: the lowest 4 of the 24 are cleared.
    EXPECT_EQ(DecodeOne(ExtensiblePcm(1, 24, 20), {0xFF, 0xFF, 0x7F}), float(0x7FFFF000));
    EXPECT_EQ(DecodeOne(ExtensiblePcm(1, 24, 24), {0xFF, 0xFF, 0x7F}), float(0x7FFFFF00));
    EXPECT_EQ(DecodeOne(ExtensiblePcm(1, 24, 0), {0xFF, 0xFF, 0x7F}), float(0x7FFFFF00));
}

TEST(SampleConversion, NegativeValuesTruncateFor16BitsButFloorFor24Bits) {
    EXPECT_EQ(EncodeOne(PcmFormat(1, 16), -1.0f), (TByteArray{0x00, 0x00}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 24), -1.0f), (TByteArray{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 16), -65536.0f), (TByteArray{0xFF, 0xFF}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 8), -2147483648.0f), (TByteArray{0x00}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 8), 0.0f), (TByteArray{0x80}));
}

TEST(SampleConversion, RoundsTiesToEvenBeforeTheShiftAndNarrowWidthsWrapBeyondFullScale) {
    EXPECT_EQ(EncodeOne(PcmFormat(1, 32), 2.5f), (TByteArray{2, 0, 0, 0}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 32), 3.5f), (TByteArray{4, 0, 0, 0}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 32), -2.5f), (TByteArray{0xFE, 0xFF, 0xFF, 0xFF}));
    // no saturation: 2^31 wraps to -2^31 in the low 32 bits
    EXPECT_EQ(EncodeOne(PcmFormat(1, 16), 2147483648.0f), (TByteArray{0x00, 0x80}));
}

TEST(SampleConversion, ThirtyTwoBitsOutOfRangeOrNotFiniteIsARangeError) {
    EXPECT_THROW(EncodeOne(PcmFormat(1, 32), 2147483648.0f), ERangeError);
    EXPECT_NO_THROW(EncodeOne(PcmFormat(1, 32), -2147483648.0f));
    EXPECT_THROW(EncodeOne(PcmFormat(1, 16), std::nanf("")), ERangeError);
    EXPECT_THROW(EncodeOne(PcmFormat(1, 24), INFINITY), ERangeError);
}

TEST(SampleConversion, FloatSamplesPassUnchangedBothWays) {
    TWaveFormatExtensible f = PcmFormat(2, 32);
    f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    TDataBufferF in{{0.25f, -7.5f}, {1e30f, -0.0f}};
    TByteArray bytes(2 * f.nBlockAlign);
    FloatsToBytes(in, bytes, f);
    TDataBufferF out(2, TSingleArray(2));
    BytesToFloats(bytes, out, f);
    EXPECT_EQ(out, in);

    TWaveFormatExtensible ext = ExtensiblePcm(2, 32, 32);
    ext.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    TDataBufferF out2(2, TSingleArray(2));
    BytesToFloats(bytes, out2, ext);
    EXPECT_EQ(out2, in);
}

TEST(SampleConversion, RoundTripsEvery16And24BitPatternInInterleavedStereo) {
    std::mt19937 random(7);
    for (int bits : {16, 24}) {
        const TWaveFormatExtensible f = PcmFormat(2, bits);
        TByteArray bytes(4000 * f.nBlockAlign);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        // The extreme patterns as well.
        for (size_t i = 0; i < size_t(bits / 8); ++i) {
            bytes[i] = 0x00;
            bytes[bits / 8 + i] = 0xFF;
        }
        bytes[bits / 8 - 1] = 0x80;
        bytes[2 * (bits / 8) - 1] = 0x7F;
        TDataBufferF data(2, TSingleArray(4000));
        BytesToFloats(bytes, data, f);
        TByteArray back(bytes.size());
        FloatsToBytes(data, back, f);
        EXPECT_EQ(back, bytes) << bits << " bits";
    }
}

TEST(SampleConversion, UnsupportedWidthsWriteNothing) {
    TWaveFormatExtensible f = PcmFormat(1, 16);
    f.wBitsPerSample = 12;
    EXPECT_EQ(DecodeOne(f, {0x12, 0x34}), 12345.0f);
}

TEST(SampleConversion, RejectsALayoutThatWouldLeaveTheBuffers) {
    TWaveFormatExtensible f = PcmFormat(2, 32);
    f.nBlockAlign = 2; // two 4-byte samples cannot fit a 2-byte frame
    TDataBufferF data(2, TSingleArray(4));
    EXPECT_THROW(BytesToFloats(TByteArray(8), data, f), EAssertionFailed);
    TDataBufferF tooShort(2, TSingleArray(1));
    EXPECT_THROW(BytesToFloats(TByteArray(16), tooShort, PcmFormat(2, 32)), EAssertionFailed);
}

} // namespace
} // namespace sonari
