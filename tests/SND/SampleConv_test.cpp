#include "SND/SampleConv.h"

#include "SND/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>

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
    EXPECT_EQ(DecodeOne(PcmFormat(1, 8), {0xFF}), 2130706432.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 24), {0x00, 0x00, 0x80}), -2147483648.0f);
    EXPECT_EQ(DecodeOne(PcmFormat(1, 32), {0x01, 0x00, 0x00, 0x00}), 1.0f);
    // 0x7FFFFF in 24 bits with 20 valid bits: the lowest 4 of the 24 are cleared.
    EXPECT_EQ(DecodeOne(ExtensiblePcm(1, 24, 20), {0xFF, 0xFF, 0x7F}), float(0x7FFFF000));
    EXPECT_EQ(DecodeOne(ExtensiblePcm(1, 24, 0), {0xFF, 0xFF, 0x7F}), float(0x7FFFFF00));
}

// Ties round to even before the shift; below 32 bits negative values truncate for 16 bits but
// floor for 24, and values beyond full scale wrap; 32 bits out of range or not finite is a
// range error.
TEST(SampleConversion, EncodingRoundsTruncatesOrFloorsAndWrapsOrRefusesBeyondFullScale) {
    EXPECT_EQ(EncodeOne(PcmFormat(1, 16), -1.0f), (TByteArray{0x00, 0x00}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 24), -1.0f), (TByteArray{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 8), 0.0f), (TByteArray{0x80}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 32), 2.5f), (TByteArray{2, 0, 0, 0}));
    EXPECT_EQ(EncodeOne(PcmFormat(1, 32), -2.5f), (TByteArray{0xFE, 0xFF, 0xFF, 0xFF}));
    // no saturation: 2^31 wraps to -2^31 in the low 32 bits
    EXPECT_EQ(EncodeOne(PcmFormat(1, 16), 2147483648.0f), (TByteArray{0x00, 0x80}));
    EXPECT_THROW(EncodeOne(PcmFormat(1, 32), 2147483648.0f), ERangeError);
    EXPECT_NO_THROW(EncodeOne(PcmFormat(1, 32), -2147483648.0f));
    EXPECT_THROW(EncodeOne(PcmFormat(1, 16), std::nanf("")), ERangeError);
    EXPECT_THROW(EncodeOne(PcmFormat(1, 24), INFINITY), ERangeError);
}

// An unsupported width writes nothing; a layout that would leave the buffers is refused.
TEST(SampleConversion, UnsupportedWidthsWriteNothingAndLayoutsBeyondTheBuffersAreRefused) {
    TWaveFormatExtensible twelve = PcmFormat(1, 16);
    twelve.wBitsPerSample = 12;
    EXPECT_EQ(DecodeOne(twelve, {0x12, 0x34}), 12345.0f);
    TWaveFormatExtensible f = PcmFormat(2, 32);
    f.nBlockAlign = 2; // two 4-byte samples cannot fit a 2-byte frame
    TDataBufferF data(2, TSingleArray(4));
    EXPECT_THROW(BytesToFloats(TByteArray(8), data, f), EAssertionFailed);
    TDataBufferF tooShort(2, TSingleArray(1));
    EXPECT_THROW(BytesToFloats(TByteArray(16), tooShort, PcmFormat(2, 32)), EAssertionFailed);
}

} // namespace
} // namespace sonari
