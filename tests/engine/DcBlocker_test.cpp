#include "engine/DcBlocker.h"

#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace sonari {
namespace {

using test::Sine;

TSingleArray Blocked(const TSingleArray& x) {
    TDcBlocker blocker;
    TSingleArray y;
    blocker.Process(x, y);
    return y;
}

// Steady-state gain at `hz` (12 kHz sampling), after ten time constants of settling.
long double GainDbAt(long double hz) {
    const long double f = hz / 12000;
    const size_t settle = 6000, measure = std::max<size_t>(24000, static_cast<size_t>(4 / f));
    const TSingleArray y = Blocked(Sine(settle + measure, f, 1e9L));
    return test::Db(test::FittedAmplitude(y, f, settle, measure) / 1e9L);
}

TEST(DcBlocker, IsAFirstOrderHighPassWithASixHundredSampleTimeConstant) {
    EXPECT_NEAR(GainDbAt(3.183L), -3.01L, 0.01L);
    EXPECT_NEAR(GainDbAt(100.0L), -0.0044L, 0.0005L);
    EXPECT_NEAR(GainDbAt(1000.0L), 0.0L, 0.001L);
    // half the sampling rate at unity gain (0.001 dB)
    const TSingleArray nyquist =
        Blocked(Sine(16384, 0.5L, 1e9L, std::numbers::pi_v<long double> / 2));
    for (size_t n = 12000; n < nyquist.size(); ++n)
        ASSERT_NEAR(std::fabs(nyquist[n]) / 1e9, 1.0, 1e-4) << n;
    // a step decays with e^(-n/600)
    const TSingleArray step = Blocked(TSingleArray(3000, 1e8f));
    EXPECT_NEAR(step[600] / step[0], std::exp(-1.0), 1e-4);
    EXPECT_NEAR(step[1800] / step[0], std::exp(-3.0), 1e-4);
}

} // namespace
} // namespace sonari
