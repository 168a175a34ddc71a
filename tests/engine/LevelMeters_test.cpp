#include "engine/LevelMeters.h"

#include "SND/Exceptions.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <numeric>

namespace sonari {
namespace {

constexpr int kBlock = 1024;

TSingleArray SineBlock(int index, double amplitude) {
    return test::Sine(kBlock, 1000.0L / 12000, amplitude, 0, size_t(index) * kBlock);
}

TEST(InputLevelBar, RefreshesEveryFifthBlockFromTheSamplesSinceTheLastRefresh) {
    TInputMeter meter;
    TSingleArray loud(kBlock, 0.0f), quiet(kBlock, 0.0f);
    loud[3] = -2147483648.0f;
    quiet[7] = 1e8f;
    quiet[9] = std::numeric_limits<float>::quiet_NaN();
    ASSERT_TRUE(meter.Update(loud, 0).has_value());
    for (int count = 1; count < 5; ++count)
        EXPECT_FALSE(meter.Update(count == 2 ? loud : quiet, count).has_value()) << count;
    EXPECT_EQ(meter.InMin, -2147483648.0f);
    const std::optional<TInputLevels> levels = meter.Update(quiet, 5);
    ASSERT_TRUE(levels.has_value());
    EXPECT_EQ(levels->Min, static_cast<float>(-2147483648.0L / 2147483647.0L));
    EXPECT_EQ(levels->Max, static_cast<float>(1e8L / 2147483647.0L));
    EXPECT_EQ(meter.InMin, 2147483648.0f);
    EXPECT_EQ(meter.InMax, -2147483648.0f);
    const std::optional<TInputLevels> next = meter.Update(quiet, 10);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->Min, 0.0f);
}

// The figures of the first 25 blocks of a statistics run.
TOutputFigures FiguresOf(const std::function<TSingleArray(int block)>& signal,
                         const TNoiseReference* noise = nullptr) {
    TOutputStats stats;
    std::optional<TOutputFigures> f;
    for (int b = 0; b < 25; ++b) {
        EXPECT_FALSE(f.has_value()) << b;
        f = stats.Update(signal(b), b, noise);
    }
    EXPECT_EQ(stats.OutSumSq, 0.0f); // the window starts again
    EXPECT_EQ(stats.OutPeak, 0.0f);
    return f.value_or(TOutputFigures{});
}

TEST(OutputStatistics, ShowPeakRmsAndPepSnrAgainstTheNoisePeakAndSilenceAtTheGuardLevel) {
    const TNoiseReference noise{10.0f, 2147483647.0f / 100}; // noise peak -40 dBFS
    const TOutputFigures sine =
        FiguresOf([](int b) { return SineBlock(b, 2147483647.0 / 2); }, &noise);
    EXPECT_NEAR(sine.PeakDbfs, -6.0206f, 1e-4f);
    EXPECT_NEAR(sine.RmsDbfs, -9.03f, 0.01f);
    ASSERT_TRUE(sine.PepSnrDb.has_value());
    EXPECT_NEAR(*sine.PepSnrDb, 43.98, 0.01); // 10 + (-6.02) - (-40)
    const TOutputFigures silence = FiguresOf([](int) { return TSingleArray(kBlock, 0.0f); });
    EXPECT_NEAR(silence.PeakDbfs, -1980.0f, 1e-3f);
    EXPECT_EQ(silence.RmsDbfs, silence.PeakDbfs);
    EXPECT_FALSE(silence.PepSnrDb.has_value());
}

TEST(OutputStatistics, SumsSquaresInAFloatRoundedAtEveryAddition) {
    TOutputStats stats;
    TSingleArray block(kBlock, 1.0f);
    block[0] = 16777216.0f; // 2^24: every later 1.0 is lost in a float sum
    stats.Update(block, 0, nullptr);
    EXPECT_EQ(stats.OutSumSq, 16777216.0f * 16777216.0f);
    EXPECT_EQ(stats.OutPeak, 16777216.0f);
}

TEST(LevelHistograms, NeedTheEnvelopeArrays) {
    THistograms h;
    EXPECT_FALSE(h.Collect({}, {}));
    EXPECT_TRUE(h.InHistogram().empty());
    EXPECT_THROW(h.Collect(TSingleArray(4, 1.0f), TSingleArray(3, 1.0f)), EAssertionFailed);
}

TEST(LevelHistograms, CountOneBlockPerBinAndClampAtBothEnds) {
    THistograms h;
    const float fs = 2147483648.0f;
    // envelopes at 0 dB, above full scale, -20 dB, -79.6 dB, -200 dB and 0
    const TSingleArray envelope = {fs, 4 * fs, fs / 10, fs * 1.05e-4f, fs * 1e-10f, 0.0f};
    const TSingleArray gain = {0.5f, 1.0f, 0.1f, 1.0f, 1.0f, 7.0f};
    ASSERT_TRUE(h.Collect(envelope, gain));
    ASSERT_EQ(h.InHistogram().size(), 81u);
    EXPECT_EQ(h.InHistogram()[0], 2);
    EXPECT_EQ(h.InHistogram()[20], 1);
    EXPECT_EQ(h.InHistogram()[80], 3);
    EXPECT_EQ(h.OutHistogram()[0], 1);  // 4 fs, gain 1
    EXPECT_EQ(h.OutHistogram()[40], 1); // -20 dB - 20 dB
    EXPECT_EQ(h.OutHistogram()[80], 3);

    // the next block starts from zero
    ASSERT_TRUE(h.Collect({fs / 10}, {1.0f}));
    EXPECT_EQ(std::accumulate(h.InHistogram().begin(), h.InHistogram().end(), 0), 1);
    EXPECT_EQ(h.InHistogram()[20], 1);
}

} // namespace
} // namespace sonari
