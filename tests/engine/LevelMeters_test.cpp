#include "engine/LevelMeters.h"

#include "SND/Exceptions.h"
#include "SND/Rounding.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace sonari {
namespace {

constexpr size_t kBlock = 1024;

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

// The bin by its definition: -round(20 log10(x 2^-31 + 1e-99)), limited to 0..80.
int32_t ReferenceBin(long double x) {
    const long double db = 20 * std::log10(x * 0x1p-31L + 1e-99L);
    if (std::isnan(db))
        return 80;
    return std::clamp(-RoundHalfEven(db), 0, 80);
}

// The histograms find their bins without logarithms: every level from above full scale to
// silence lands where the definition puts it, products of envelope and gain included, and each
// block counts afresh.
TEST(HistogramBins, MatchTheLogarithmicDefinitionEverywhere) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> db(-100.0, 10.0), gainDb(-40.0, 30.0);
    TSingleArray envelope(kBlock), gain(kBlock);
    THistograms histograms;
    for (int block = 0; block < 200; ++block) {
        for (size_t i = 0; i < kBlock; ++i) {
            envelope[i] = static_cast<float>(std::pow(10.0, db(random) / 20) * 0x1p31);
            gain[i] = static_cast<float>(std::pow(10.0, gainDb(random) / 20));
        }
        // the edges of every bin, one float step either side
        if (block == 0)
            for (size_t k = 0; k < 81; ++k) {
                const float edge = static_cast<float>(std::pow(10.0L, -(k + 0.5L) / 20) * 0x1p31L);
                envelope[3 * k] = edge;
                envelope[3 * k + 1] = std::nextafter(edge, 0.0f);
                envelope[3 * k + 2] = std::nextafter(edge, 3e9f);
            }
        envelope[kBlock - 1] = 0.0f;
        envelope[kBlock - 2] = std::numeric_limits<float>::quiet_NaN();
        envelope[kBlock - 3] = std::numeric_limits<float>::infinity();
        ASSERT_TRUE(histograms.Collect(envelope, gain));
        TIntegerArray in(81, 0), out(81, 0);
        for (size_t i = 0; i < kBlock; ++i) {
            ++in[ReferenceBin(envelope[i])];
            ++out[ReferenceBin(static_cast<long double>(envelope[i]) * gain[i])];
        }
        ASSERT_EQ(histograms.InHistogram(), in) << block;
        ASSERT_EQ(histograms.OutHistogram(), out) << block;
    }
    // a block without the envelope arrays counts nothing; arrays of different lengths are a fault
    EXPECT_FALSE(histograms.Collect({}, {}));
    EXPECT_THROW(histograms.Collect(TSingleArray(4, 1.0f), TSingleArray(3, 1.0f)),
                 EAssertionFailed);
}

} // namespace
} // namespace sonari
