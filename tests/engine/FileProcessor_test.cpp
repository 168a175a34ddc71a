#include "engine/FileProcessor.h"

#include "SND/Exceptions.h"

#include "FakeDspView.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numbers>

// The output equals the chain's, delay included, sample for sample: the "three drivers" test
// in DspBlocks_test.cpp.

namespace sonari {
namespace {

using test::ReadWav;
using test::Sine;
using test::WriteWav;

class FileProcessor : public ::testing::Test {
protected:
    std::string Name(const char* name) const { return (dir_ / name).string(); }

    TProcessSummary Process(const char* in, const char* out, bool isFloat = false) {
        TFileProcessor processor(view_);
        processor.Equalizer().SetEqualizerEnabled(equalizerOn_);
        return processor.Run(Name(in), Name(out), isFloat);
    }

    test::TTempDir dir_;
    test::TFakeDspView view_;
    bool equalizerOn_ = true;
};

TEST_F(FileProcessor, OutputIsChannelZeroInMonoAtTheInputRateAndAsLongAsTheInput) {
    for (uint32_t rate : {12000u, 48000u, 96000u}) {
        const size_t frames = rate + 17; // not a whole number of blocks
        const TSingleArray left = Sine(frames, 0.01L, 1e9L);
        WriteWav(Name("mono.wav"), rate, {left});
        WriteWav(Name("stereo.wav"), rate, {left, Sine(frames, 0.003L, 2e9L)});
        const TProcessSummary summary = Process("stereo.wav", "out.wav");
        Process("mono.wav", "mono-out.wav");
        const test::TWavContents out = ReadWav(Name("out.wav"));
        EXPECT_EQ(out.Rate, rate);
        EXPECT_EQ(out.BytesPerSample, 2u);
        EXPECT_FALSE(out.IsFloat);
        ASSERT_EQ(out.Channels.size(), 1u);
        EXPECT_EQ(out.Channels[0].size(), frames) << rate;
        EXPECT_EQ(out.Channels, ReadWav(Name("mono-out.wav")).Channels) << rate;
        EXPECT_EQ(summary.Frames, static_cast<int64_t>(frames));
        EXPECT_EQ(summary.SamplesPerSec, static_cast<int32_t>(rate));
    }
    EXPECT_FALSE(std::filesystem::exists(Name("out.wav.part")));
}

// With equalizer and clipper off the chain is DC removal and resampling: a tone inside the band
// keeps its level, which shows the scaling at both ends and in the summary.
TEST_F(FileProcessor, IntegerFilesUseTheSampleScaleAndFloatFilesUnitFullScale) {
    equalizerOn_ = false;
    const long double f = 1000.0L / 12000.0L;
    WriteWav(Name("in.wav"), 12000,
             {Sine(120000, f, 0.5L * 2147483647.0L, std::numbers::pi_v<long double> / 2)}, 4);
    const TProcessSummary summary = Process("in.wav", "float.wav", true);
    EXPECT_NEAR(summary.PeakDbfs, -6.02L, 0.01L);
    EXPECT_NEAR(summary.RmsDbfs, -9.03L, 0.01L);
    EXPECT_NEAR(summary.PeakFactorDb(), 3.01L, 0.02L);
    EXPECT_EQ(summary.LimitedBlocks, 0);
    const test::TWavContents asFloat = ReadWav(Name("float.wav"));
    EXPECT_TRUE(asFloat.IsFloat);
    EXPECT_NEAR(test::FittedAmplitude(asFloat.Channels[0], f, 8192, 32768), 0.5L, 0.005L);

    Process("in.wav", "pcm.wav");
    EXPECT_NEAR(test::FittedAmplitude(ReadWav(Name("pcm.wav")).Channels[0], f, 8192, 32768) /
                    0x1p30L,
                1.0L, 0.01L);
}

TEST_F(FileProcessor, BadFilesAreErrorsNamingTheFileThatLeaveEveryFileAlone) {
    WriteWav(Name("44100.wav"), 44100, {TSingleArray(5000, 0.0f)});
    test::WriteFileBytes(Name("junk.wav"), "RIFF....WAVEjunk");
    WriteWav(Name("in.wav"), 12000, {TSingleArray(5000, 65536.0f)});
    const std::string input = test::ReadFileBytes(Name("in.wav"));
    test::WriteFileBytes(Name("out.wav"), "previous");
    const auto messageOf = [&](const char* in, const char* out) {
        return test::MessageOf<Exception>([&] { Process(in, out); });
    };
    EXPECT_EQ(messageOf("44100.wav", "out.wav"), UnsupportedRateMessage(Name("44100.wav"), 44100));
    for (const char* unreadable : {"junk.wav", "missing.wav"}) {
        const std::string message = messageOf(unreadable, "out.wav");
        EXPECT_NE(message.find(Name(unreadable)), std::string::npos) << message;
    }
    EXPECT_EQ(test::ReadFileBytes(Name("out.wav")), "previous");
    EXPECT_FALSE(std::filesystem::exists(Name("out.wav.part")));
    EXPECT_THROW(Process("in.wav", "no/such/folder/out.wav"), Exception);
    // The output may not be the input, under whatever name.
    EXPECT_THROW(Process("in.wav", "in.wav"), Exception);
    EXPECT_THROW(Process("in.wav", "./in.wav"), Exception);
    EXPECT_EQ(test::ReadFileBytes(Name("in.wav")), input);
}

} // namespace
} // namespace sonari
