#include "engine/FileProcessor.h"
#include "engine/WavSamples.h"

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

// A sound held in memory.
class TMemoryReader : public ISampleReader {
public:
    TMemoryReader(int32_t rate, TSingleArray samples) : rate_(rate), samples_(std::move(samples)) {}
    int32_t Rate() const override { return rate_; }
    int64_t Frames() const override { return static_cast<int64_t>(samples_.size()); }
    size_t Read(float* samples, size_t count) override {
        count = std::min(count, samples_.size() - at_);
        std::copy_n(samples_.begin() + static_cast<ptrdiff_t>(at_), count, samples);
        at_ += count;
        return count;
    }

private:
    int32_t rate_;
    TSingleArray samples_;
    size_t at_ = 0;
};

class TMemoryWriter : public ISampleWriter {
public:
    void Write(const float* samples, size_t count) override {
        ASSERT_FALSE(Closed);
        Samples.insert(Samples.end(), samples, samples + count);
    }
    void Close() override { Closed = true; }
    TSingleArray Samples;
    bool Closed = false;
};

class FileProcessor : public ::testing::Test {
protected:
    TSingleArray Process(int32_t rate, const TSingleArray& in, bool keepDelay = false) {
        TFileProcessor processor(view_);
        processor.Equalizer().SetEqualizerEnabled(equalizerOn_);
        TMemoryReader reader(rate, in);
        TMemoryWriter writer;
        summary_ = processor.Process(reader, writer, keepDelay);
        latency_ = processor.Latency();
        EXPECT_TRUE(writer.Closed);
        return writer.Samples;
    }

    test::TFakeDspView view_;
    bool equalizerOn_ = true;
    TProcessSummary summary_;
    double latency_ = 0;
};

size_t LoudestAt(const TSingleArray& x) {
    return static_cast<size_t>(
        std::max_element(x.begin(), x.end(),
                         [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
        x.begin());
}

// By default the output lines up with the input and is complete; with the delay kept it is
// what the transmitter would have sent.
TEST_F(FileProcessor, OutputIsAlignedAndCompleteOrKeepsTheChainDelay) {
    for (int32_t rate : {12000, 48000, 96000}) {
        SCOPED_TRACE(rate);
        const auto frames = static_cast<size_t>(rate + 17); // not a whole number of blocks
        const size_t at = frames / 3;
        // an impulse, and a 1 kHz tone over the last 50 ms
        TSingleArray in(frames, 0.0f);
        in[at] = 1e9f;
        const TSingleArray tone = Sine(frames, 1000.0L / rate, 5e8L);
        for (size_t n = frames - frames / 20; n < frames; ++n)
            in[n] = tone[n];
        const TSingleArray aligned = Process(rate, in);
        ASSERT_EQ(aligned.size(), frames);
        EXPECT_EQ(summary_.Frames, static_cast<int64_t>(frames));
        EXPECT_EQ(LoudestAt({aligned.begin(), aligned.begin() + frames / 2}), at);
        // the tone's last 10 ms are there, at its level
        const size_t last10ms = static_cast<size_t>(rate / 100);
        EXPECT_NEAR(test::FittedAmplitude(aligned, 1000.0L / rate, frames - last10ms, last10ms) /
                        5e8L,
                    1.0L, 0.05L);

        const TSingleArray delayed = Process(rate, in, true);
        ASSERT_EQ(delayed.size(), frames);
        EXPECT_EQ(double(LoudestAt({delayed.begin(), delayed.begin() + frames / 2})) - double(at),
                  latency_);
    }
}

// A recording shorter than the chain's delay still comes out.
TEST_F(FileProcessor, ARecordingShorterThanTheDelayGivesItsContent) {
    const TSingleArray out = Process(48000, {1e9f, -2e9f, 1.5e9f, -5e8f});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_GT(test::Peak(out), 1e6f); // silence would be 0
    EXPECT_GT(summary_.PeakDbfs, -80.0L);
}

TEST_F(FileProcessor, SummaryDescribesTheOutput) {
    equalizerOn_ = false;
    const long double f = 1000.0L / 12000.0L;
    Process(12000, Sine(120000, f, 0.5L * 2147483647.0L, kPi / 2));
    EXPECT_NEAR(summary_.PeakDbfs, -6.02L, 0.01L);
    EXPECT_NEAR(summary_.RmsDbfs, -9.03L, 0.01L);
    EXPECT_NEAR(summary_.PeakFactorDb(), 3.01L, 0.02L);
    EXPECT_EQ(summary_.LimitedBlocks, 0);
}

// The WAV files of the chain: float ones at +-1.0 full scale both ways, the first channel only.
// With equalizer and clipper off the chain is decimation, DC removal and interpolation: a tone
// inside the band keeps its level, which shows the scaling at both ends.
TEST_F(FileProcessor, WavFilesUseUnitFullScaleForFloatsAndTheFirstChannel) {
    TTempDir dir;
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.wav").string();
    const long double f = 1000.0L / 48000.0L;
    WriteWav(in, 48000, {Sine(48000, f, 0.5L), Sine(48000, 0.003L, 0.9L)}, 4, true);
    TWavSampleReader reader(in);
    EXPECT_EQ(reader.Frames(), 48000);
    TFileProcessor processor(view_);
    processor.Equalizer().SetEqualizerEnabled(false);
    TWavSampleWriter writer(out, 48000, true);
    processor.Process(reader, writer);
    const test::TWavContents asFloat = ReadWav(out);
    EXPECT_TRUE(asFloat.IsFloat);
    ASSERT_EQ(asFloat.Channels.size(), 1u);
    EXPECT_NEAR(test::FittedAmplitude(asFloat.Channels[0], f, 8192, 32768), 0.5L, 0.005L);
    EXPECT_THROW(TWavSampleReader((dir / "missing.wav").string()), Exception);
}

} // namespace
} // namespace sonari
