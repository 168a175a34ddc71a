#include "engine/SoundFiles.h"

#include "SND/Exceptions.h"

#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

TEST(ReadWavFile, ReturnsChannelZeroOfATwelveKilohertzFileAndRejectsOtherRatesByName) {
    test::TTempDir dir;
    const std::string two = dir / "two.wav", fast = dir / "fast.wav";
    test::WriteWav(two, 12000, {{65536.0f, -131072.0f, 0.0f}, {1.0f, 2.0f, 3.0f}});
    test::WriteWav(fast, 48000, {{65536.0f, 65536.0f}});
    std::string message;
    const auto report = [&](const std::string& m) { message = m; };
    EXPECT_EQ(ReadWavFile(two, report), (TSingleArray{65536.0f, -131072.0f, 0.0f}));
    EXPECT_EQ(message, "");
    EXPECT_TRUE(ReadWavFile(fast, report).empty());
    EXPECT_EQ(message, "Incorrect sampling rate in " + fast + ", must be 12 KHz");
    // missing or broken files raise
    EXPECT_THROW(ReadWavFile(dir / "none.wav", nullptr), Exception);
    test::WriteFileBytes(dir / "junk.wav", "RIFF\x04\0\0\0WAVE");
    EXPECT_THROW(ReadWavFile(dir / "junk.wav", nullptr), Exception);
}

TEST(SampleUtilities, RemoveDcSubtractsTheMeanAndPeakIsHalfThePeakToPeak) {
    TSingleArray x = {1.0f, 2.0f, 3.0f, 6.0f};
    RemoveDc(x);
    EXPECT_EQ(x, (TSingleArray{-2.0f, -1.0f, 0.0f, 3.0f}));
    EXPECT_EQ(PeakOf({-100.0f, 50.0f, 300.0f}), 200.0f);
    EXPECT_EQ(PeakOf({-2147483648.0f, 2147483648.0f}), 2147483648.0f);
    TSingleArray empty;
    RemoveDc(empty);
    EXPECT_EQ(PeakOf(empty), 0.0f);
}

TEST(SampleUtilities, FadesAreHalfRaisedCosinesThatSumToOne) {
    TSingleArray in(1024, 1.0f), out(1024, 1.0f);
    FadeBlock(in, true);
    FadeBlock(out, false);
    EXPECT_EQ(in[0], 0.0f);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(in[512], 0.5f);
    EXPECT_NEAR(in[1023], 1.0f, 1e-5f);
    for (size_t i = 1; i < in.size(); ++i) {
        ASSERT_NEAR(in[i] + out[i], 1.0f, 1e-6f) << i;
        ASSERT_GE(in[i], in[i - 1]) << i;
    }
}

} // namespace
} // namespace sonari
