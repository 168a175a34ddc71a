#include "engine/FileProcessor.h"

#include "SND/Exceptions.h"

#include "FakeDspView.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>

namespace sonari {
namespace {

using test::ReadWav;
using test::Sine;
constexpr long double kPi = std::numbers::pi_v<long double>;
using test::TTempDir;
using test::WriteWav;

class FileProcessor : public ::testing::Test {
protected:
    std::string Name(const char* name) const { return (dir_ / name).string(); }

    TProcessSummary Process(const std::string& in, const std::string& out, bool isFloat = false) {
        TFileProcessor processor(view_);
        processor.Equalizer().SetEqualizerEnabled(equalizerOn_);
        TProcessSummary summary = processor.Run(in, out, isFloat);
        latency_ = processor.Latency();
        return summary;
    }

    TTempDir dir_;
    test::TFakeDspView view_;
    bool equalizerOn_ = true;
    double latency_ = 0;
};

TEST_F(FileProcessor, OutputIsMonoAtTheInputRateAndAsLongAsTheInput) {
    for (uint32_t rate : {12000u, 48000u, 96000u}) {
        const size_t frames = rate + 17; // not a whole number of blocks
        WriteWav(Name("in.wav"), rate, {Sine(frames, 0.01L, 1e9L), TSingleArray(frames, 0.0f)});
        const TProcessSummary summary = Process(Name("in.wav"), Name("out.wav"));
        const test::TWavContents out = ReadWav(Name("out.wav"));
        EXPECT_EQ(out.Rate, rate);
        EXPECT_EQ(out.BytesPerSample, 2u);
        EXPECT_FALSE(out.IsFloat);
        ASSERT_EQ(out.Channels.size(), 1u);
        EXPECT_EQ(out.Channels[0].size(), frames) << rate;
        EXPECT_EQ(summary.Frames, static_cast<int64_t>(frames));
        EXPECT_EQ(summary.SamplesPerSec, static_cast<int32_t>(rate));
    }
    EXPECT_FALSE(std::filesystem::exists(Name("out.wav.part")));
}

// With equalizer and clipper off the chain is decimation, DC removal and interpolation: a tone
// inside the band keeps its level, which shows the scaling at both ends.
TEST_F(FileProcessor, FloatFilesUseUnitFullScaleAtBothEnds) {
    equalizerOn_ = false;
    const long double f = 1000.0L / 48000.0L;
    WriteWav(Name("in.wav"), 48000, {Sine(48000, f, 0.5L)}, 4, true);
    Process(Name("in.wav"), Name("float.wav"), true);
    const test::TWavContents asFloat = ReadWav(Name("float.wav"));
    EXPECT_TRUE(asFloat.IsFloat);
    EXPECT_NEAR(test::FittedAmplitude(asFloat.Channels[0], f, 8192, 32768), 0.5L, 0.005L);

    Process(Name("in.wav"), Name("pcm.wav"), false);
    const test::TWavContents pcm = ReadWav(Name("pcm.wav"));
    EXPECT_NEAR(test::FittedAmplitude(pcm.Channels[0], f, 8192, 32768) / 0x1p30L, 1.0L, 0.01L);
}

TEST_F(FileProcessor, OnlyChannelZeroIsProcessed) {
    const TSingleArray left = Sine(30000, 0.02L, 5e8L);
    WriteWav(Name("mono.wav"), 24000, {left});
    WriteWav(Name("stereo.wav"), 24000, {left, Sine(30000, 0.003L, 2e9L)});
    Process(Name("mono.wav"), Name("a.wav"));
    Process(Name("stereo.wav"), Name("b.wav"));
    EXPECT_EQ(ReadWav(Name("a.wav")).Channels, ReadWav(Name("b.wav")).Channels);
}

TEST_F(FileProcessor, SummaryDescribesTheOutput) {
    equalizerOn_ = false;
    const long double f = 1000.0L / 12000.0L;
    WriteWav(Name("in.wav"), 12000, {Sine(120000, f, 0.5L * 2147483647.0L, kPi / 2)}, 4);
    const TProcessSummary summary = Process(Name("in.wav"), Name("out.wav"));
    EXPECT_NEAR(summary.PeakDbfs, -6.02L, 0.01L);
    EXPECT_NEAR(summary.RmsDbfs, -9.03L, 0.01L);
    EXPECT_NEAR(summary.PeakFactorDb(), 3.01L, 0.02L);
    EXPECT_EQ(summary.LimitedBlocks, 0);
}

TEST_F(FileProcessor, KeepsTheChainDelay) {
    // The default chain is linear-phase: an impulse comes out after the chain's delay.
    for (int32_t ratio : {1, 4}) {
        const int32_t rate = 12000 * ratio;
        TSingleArray impulse(static_cast<size_t>(rate), 0.0f);
        impulse[5000] = 1e9f;
        WriteWav(Name("in.wav"), static_cast<uint32_t>(rate), {impulse}, 4);
        Process(Name("in.wav"), Name("out.wav"), true);
        const TSingleArray out = ReadWav(Name("out.wav")).Channels[0];
        const auto peak = std::max_element(
            out.begin(), out.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
        EXPECT_EQ(static_cast<double>(peak - out.begin()) - 5000, latency_) << rate;
    }
}

TEST_F(FileProcessor, RejectsRatesOutsideTheOctaveSeriesWithoutTouchingTheOutput) {
    WriteWav(Name("in.wav"), 44100, {TSingleArray(5000, 0.0f)});
    test::WriteFileBytes(Name("out.wav"), "previous");
    try {
        Process(Name("in.wav"), Name("out.wav"));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.what(), UnsupportedRateMessage(Name("in.wav"), 44100));
    }
    EXPECT_EQ(test::ReadFileBytes(Name("out.wav")), "previous");
}

TEST_F(FileProcessor, UnreadableInputOrUnwritableOutputIsAnError) {
    test::WriteFileBytes(Name("in.wav"), "RIFF....WAVEjunk");
    test::WriteFileBytes(Name("out.wav"), "previous");
    for (const char* input : {"in.wav", "missing.wav"}) {
        try {
            Process(Name(input), Name("out.wav"));
            FAIL() << input;
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(Name(input)), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(test::ReadFileBytes(Name("out.wav")), "previous");
    EXPECT_FALSE(std::filesystem::exists(Name("out.wav.part")));
    WriteWav(Name("in.wav"), 12000, {TSingleArray(5000, 65536.0f)});
    EXPECT_THROW(Process(Name("in.wav"), Name("no/such/folder/out.wav")), Exception);
}

TEST_F(FileProcessor, RefusesToWriteOverTheInput) {
    WriteWav(Name("in.wav"), 12000, {TSingleArray(5000, 65536.0f)});
    const std::string before = test::ReadFileBytes(Name("in.wav"));
    EXPECT_THROW(Process(Name("in.wav"), Name("in.wav")), Exception);
    EXPECT_THROW(Process(Name("in.wav"), (dir_ / "." / "in.wav").string()), Exception);
    EXPECT_EQ(test::ReadFileBytes(Name("in.wav")), before);
}

} // namespace
} // namespace sonari
