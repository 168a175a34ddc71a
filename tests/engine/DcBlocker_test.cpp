#include "engine/DcBlocker.h"

#include "SignalMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace sonari {
namespace {

using test::Db;
using test::FittedAmplitude;
using test::Sine;

constexpr long double kFs = 12000.0L;

// Steady-state gain at `hz`, after ten time constants of settling.
long double GainDbAt(long double hz) {
    const long double f = hz / kFs;
    const size_t settle = 6000;
    const size_t measure = std::max<size_t>(24000, static_cast<size_t>(4 / f));
    const TSingleArray x = Sine(settle + measure, f, 1e9L);
    TDcBlocker blocker;
    TSingleArray y;
    blocker.Process(x, y);
    return Db(FittedAmplitude(y, f, settle, measure) / 1e9L);
}

TEST(DcBlocker, GainFollowsTheFirstOrderHighPass) {
    EXPECT_NEAR(GainDbAt(3.183L), -3.01L, 0.01L);
    EXPECT_NEAR(GainDbAt(10.0L), -0.42L, 0.005L);
    EXPECT_NEAR(GainDbAt(100.0L), -0.0044L, 0.0005L);
    EXPECT_NEAR(GainDbAt(1000.0L), 0.0L, 0.001L);
}

TEST(DcBlocker, PassesHalfTheSamplingRateAtUnityGain) {
    TSingleArray x(16384);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = n % 2 ? -1e9f : 1e9f;
    TDcBlocker blocker;
    TSingleArray y;
    blocker.Process(x, y);
    for (size_t n = 12000; n < x.size(); ++n)
        EXPECT_NEAR(std::fabs(y[n]) / 1e9, 1.0, 1e-4) << n; // 0.001 dB
}

TEST(DcBlocker, ConstantOffsetDecaysWithSixHundredSamples) {
    const TSingleArray x(3000, 1e8f);
    TDcBlocker blocker;
    TSingleArray y;
    blocker.Process(x, y);
    EXPECT_NEAR(y[600] / y[0], std::exp(-1.0), 1e-4);
    EXPECT_NEAR(y[1800] / y[0], std::exp(-3.0), 1e-4);
}

TEST(DcBlocker, StateCarriesAcrossBlocksAndRuns) {
    const TSingleArray x = Sine(5000, 0.013L, 3e8L, 0.4L);
    TDcBlocker whole;
    TSingleArray expected;
    whole.Process(x, expected);

    TDcBlocker pieces;
    TSingleArray got, part;
    for (size_t first = 0, length = 1; first < x.size(); first += length, length = length * 3 + 7) {
        const size_t end = std::min(x.size(), first + length);
        pieces.Process(TSingleArray(x.begin() + first, x.begin() + end), part);
        got.insert(got.end(), part.begin(), part.end());
    }
    ASSERT_EQ(got.size(), expected.size());
    for (size_t n = 0; n < got.size(); ++n)
        ASSERT_EQ(got[n], expected[n]) << n;
    EXPECT_EQ(pieces.DcPrevIn, x.back());
    EXPECT_EQ(pieces.DcPrevOut, expected.back());
}

TEST(DcBlocker, BadSamplesDoNotPoisonTheState) {
    TSingleArray x = Sine(2048, 0.01L, 1e9L);
    TSingleArray clean = x;
    x[100] = std::numeric_limits<float>::quiet_NaN();
    clean[100] = 0.0f;
    x[200] = std::numeric_limits<float>::infinity();
    clean[200] = TDcBlocker::kMaxInput;

    TDcBlocker a, b;
    TSingleArray ya, yb;
    a.Process(x, ya);
    b.Process(clean, yb);
    for (size_t n = 0; n < x.size(); ++n) {
        ASSERT_TRUE(std::isfinite(ya[n])) << n;
        ASSERT_EQ(ya[n], yb[n]) << n;
    }
}

} // namespace
} // namespace sonari
