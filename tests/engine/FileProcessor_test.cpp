#include "engine/FileProcessor.h"

#include "FakeDspView.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

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

// With the delay kept the output is what the transmitter would have sent: the impulse moves by
// the chain's latency (the aligned default is the process command's end-to-end business).
TEST_F(FileProcessor, KeepingTheDelayMovesTheOutputByTheChainLatency) {
    for (int32_t rate : {12000, 96000}) {
        SCOPED_TRACE(rate);
        const auto frames = static_cast<size_t>(rate + 17); // not a whole number of blocks
        const size_t at = frames / 3;
        TSingleArray in(frames, 0.0f);
        in[at] = 1e9f;
        const TSingleArray delayed = Process(rate, in, true);
        ASSERT_EQ(delayed.size(), frames);
        EXPECT_EQ(summary_.Frames, static_cast<int64_t>(frames));
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

} // namespace
} // namespace sonari
