#include "engine/EnvelopeMeter.h"
#include "engine/LevelMeters.h"

#include "SND/Exceptions.h"
#include "SND/Rounding.h"
#include "tests/support/Envelope.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <random>

namespace sonari {
namespace {

constexpr size_t kBlock = 1024;

TEST(InputLevelBar, RefreshesEveryFifthBlockFromTheSamplesSinceTheLastRefresh) {
    TInputMeter meter;
    TSingleArray loud(kBlock, 0.0f), quiet(kBlock, 0.0f);
    loud[3] = -2147483648.0f;
    quiet[7] = 1e8f;
    quiet[9] = std::numeric_limits<float>::quiet_NaN();
    ASSERT_TRUE(meter.Update(loud, 0).has_value());
    for (int count = 1; count < 5; ++count)
        EXPECT_FALSE(meter.Update(count == 2 ? loud : quiet, count).has_value()) << count;
    const std::optional<TInputLevels> levels = meter.Update(quiet, 5);
    ASSERT_TRUE(levels.has_value());
    EXPECT_EQ(levels->Min, static_cast<float>(-2147483648.0L / 2147483647.0L));
    EXPECT_EQ(levels->Max, static_cast<float>(1e8L / 2147483647.0L));
    // the next refresh starts from what came after this one
    const std::optional<TInputLevels> next = meter.Update(quiet, 10);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->Min, 0.0f);
}

// A tone's figures are DspBlocks.StatisticsClose...'s.
TEST(OutputStatistics, SumSquaresInAFloatAndStartAgainEveryTwentyFiveBlocks) {
    TOutputStats stats;
    TSingleArray block(kBlock, 1.0f);
    block[0] = 16777216.0f; // 2^24: every later 1.0 is lost in a float sum
    std::optional<TOutputFigures> figures = stats.Update(block, 0, nullptr);
    EXPECT_EQ(stats.OutSumSq, 16777216.0f * 16777216.0f);
    EXPECT_EQ(stats.OutPeak, 16777216.0f);
    // the next window holds silence alone, shown at the guard level
    for (int b = 1; b < 50; ++b) {
        EXPECT_EQ(figures.has_value(), b == 25) << b;
        figures = stats.Update(TSingleArray(kBlock, 0.0f), b, nullptr);
    }
    ASSERT_TRUE(figures.has_value());
    EXPECT_NEAR(figures->PeakDbfs, -1980.0f, 1e-3f);
    EXPECT_EQ(figures->RmsDbfs, figures->PeakDbfs);
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

constexpr long double kRate = 12000;

// A tone of `amplitude` that fades in and out over `fade` samples each (100 ms by default), so
// it has no edge whose envelope would ring.
TSingleArray SmoothTone(size_t length, long double hz, long double amplitude, size_t fade = 1200) {
    TSingleArray x = test::Sine(length, hz / kRate, amplitude);
    for (size_t n = 0; n < fade; ++n) {
        const float w = static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * n / fade));
        x[n] *= w;
        x[length - 1 - n] *= w;
    }
    return x;
}

float PeakOf(const TSingleArray& x) {
    TEnvelopeMeter meter;
    meter.Add(x);
    meter.Finish();
    return meter.Peak();
}

TEST(EnvelopeMeter, MeasuresTheWholeSignalsEnvelopeToItsLastSampleAndResetForgetsIt) {
    for (long double hz : {90.0L, 300.0L, 1000.0L, 2700.0L, 5900.0L})
        EXPECT_NEAR(test::Db(PeakOf(SmoothTone(6000, hz, 1e9L)) / 1e9L), 0.0L, 0.01L) << hz;
    // noise through a crude band-pass: the difference of two moving averages
    const TSingleArray noise = test::Noise(12000, 1e8f, 5);
    TSingleArray x(noise.size(), 0.0f);
    for (size_t n = 8; n < noise.size(); ++n) {
        const auto average = [&](size_t length) {
            return std::accumulate(&noise[n + 1 - length], &noise[n] + 1, 0.0) / length;
        };
        x[n] = static_cast<float>(average(2) - average(8));
    }
    const TSingleArray reference = test::AnalyticEnvelope(x);
    const float want = *std::max_element(reference.begin(), reference.end());
    EXPECT_NEAR(test::Db(static_cast<long double>(PeakOf(x)) / want), 0.0L, 0.05L);

    // a burst whose top lies 150 samples before the end: within the last kHalfLength samples,
    // which only Finish measures
    TSingleArray burst(2700, 0.0f);
    const TSingleArray top = SmoothTone(300, 1500, 5e8L, 150);
    burst.insert(burst.end(), top.begin(), top.end());
    TEnvelopeMeter meter;
    meter.Add(burst);
    EXPECT_LT(meter.Peak(), 2.5e8f);
    meter.Finish();
    EXPECT_NEAR(test::Db(meter.Peak() / 5e8L), 0.0L, 0.01L);
    meter.Reset();
    EXPECT_EQ(meter.Peak(), 0.0f);
    meter.Add(TSingleArray(100, 0.0f));
    EXPECT_EQ(meter.Peak(), 0.0f);
}

} // namespace
} // namespace sonari
