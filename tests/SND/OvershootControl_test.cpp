#include "SND/OvershootControl.h"

#include "SND/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace sonari {
namespace {

constexpr int32_t kRate = 12000;
constexpr int32_t kHalf = 128;
constexpr float kCeiling = 1e9f;
constexpr long double kTwoPi = 2 * std::numbers::pi_v<long double>;

// DTFT of the pulse at f Hz (negative: the band's side).
long double PulseGainDb(const TComplexArray& pulse, long double hz) {
    std::complex<long double> sum = 0;
    const long double w = kTwoPi * hz / kRate;
    for (size_t i = 0; i < pulse.size(); ++i) {
        const long double n = static_cast<long double>(i) - kHalf;
        sum += std::complex<long double>(pulse[i].Re, pulse[i].Im) * std::polar(1.0L, -w * n);
    }
    return 20 * std::log10(std::abs(sum) + 1e-300L);
}

// A conjugate analytic stream (its band at negative frequencies, as the pulse's): tones between
// 500 and 2500 Hz of random phase whose envelope peaks near `peak`.
struct TStream {
    TSingleArray InPhase, Quadrature;
};
TStream Tones(size_t length, float peak, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi);
    const std::vector<double> hz = {530, 910, 1370, 1850, 2410};
    std::vector<double> phases(hz.size());
    for (double& p : phases)
        p = phase(rng);
    TStream s{TSingleArray(length), TSingleArray(length)};
    for (size_t n = 0; n < length; ++n) {
        std::complex<double> z = 0;
        for (size_t i = 0; i < hz.size(); ++i)
            z += std::polar(peak / 5.0, -(2 * std::numbers::pi * hz[i] * n / kRate + phases[i]));
        s.InPhase[n] = static_cast<float>(z.real());
        s.Quadrature[n] = static_cast<float>(z.imag());
    }
    return s;
}

TOvershootControl Control(long double loHz = 400, long double hiHz = 2600) {
    TOvershootControl control;
    TComplexArray pulse;
    MakeOvershootPulse(kRate, loHz, hiHz, kHalf, pulse);
    control.SetPulse(pulse);
    control.SetCeiling(kCeiling);
    return control;
}

// The whole stream in pieces of the given lengths, repeated; returns the output.
TSingleArray Feed(TOvershootControl& control, const TStream& s,
                  const std::vector<int32_t>& pieces) {
    TSingleArray out(s.InPhase.size());
    size_t at = 0;
    for (size_t p = 0; at < out.size(); ++p) {
        const auto count = static_cast<int32_t>(
            std::min<size_t>(static_cast<size_t>(pieces[p % pieces.size()]), out.size() - at));
        control.Process(s.InPhase.data() + at, s.Quadrature.data() + at, out.data() + at, count);
        at += static_cast<size_t>(count);
    }
    return out;
}

TEST(OvershootPulse, PassesItsBandOnTheNegativeSideOnlyAndNothingBeyondTheTransition) {
    TComplexArray pulse;
    MakeOvershootPulse(kRate, 400, 2600, kHalf, pulse);
    ASSERT_EQ(pulse.size(), 2u * kHalf + 1);
    for (long double hz : {650.0L, 1500.0L, 2350.0L})
        EXPECT_NEAR(PulseGainDb(pulse, -hz), 0.0L, 0.001L) << hz;
    EXPECT_NEAR(PulseGainDb(pulse, -400), -6.02L, 0.01L);
    // beyond 240 Hz outside the band, and on the whole positive side: -140 dB or less
    for (long double hz : {0.0L, -150.0L, -2850.0L, -5990.0L, 400.0L, 1000.0L, 2600.0L})
        EXPECT_LT(PulseGainDb(pulse, hz), -140.0L) << hz;
}

// A peak shaped like the pulse itself is taken down to the ceiling by one correction, and what
// remains is the same shape: nowhere above the ceiling (corrections aim 2^-16 below it).
TEST(OvershootControl, CancelsAPulseShapedPeakWithOneCorrection) {
    TComplexArray pulse;
    MakeOvershootPulse(kRate, 400, 2600, kHalf, pulse);
    TOvershootControl control = Control();
    const float scale = 3 * kCeiling / pulse[kHalf].Re; // peak at +9.5 dB
    TStream s{TSingleArray(2000, 0.0f), TSingleArray(2000, 0.0f)};
    for (size_t i = 0; i < pulse.size(); ++i) {
        s.InPhase[500 + i] = pulse[i].Re * scale;
        s.Quadrature[500 + i] = pulse[i].Im * scale;
    }
    const TSingleArray out = Feed(control, s, {2000});
    EXPECT_EQ(control.Corrections(), 1);
    const auto delay = static_cast<size_t>(control.Delay());
    for (size_t i = 0; i < pulse.size(); ++i)
        ASSERT_NEAR(out[delay + 500 + i], s.InPhase[500 + i] / 3, 2e-5 * kCeiling) << i;
}

TEST(OvershootControl, TheSameStreamInOtherPiecesGivesTheSameBits) {
    const TStream s = Tones(20000, 1.8f * kCeiling, 3);
    TOvershootControl whole = Control();
    const TSingleArray reference = Feed(whole, s, {20000});
    ASSERT_GT(whole.Corrections(), 100);
    for (const std::vector<int32_t>& pieces :
         std::vector<std::vector<int32_t>>{{1}, {1000, 7, 333, 1}}) {
        TOvershootControl control = Control();
        EXPECT_EQ(Feed(control, s, pieces), reference) << pieces[0];
        EXPECT_EQ(control.Corrections(), whole.Corrections());
    }
}

TEST(OvershootControl, RejectsAnEvenPulseAndABadCeilingAndPassesWithoutABand) {
    TOvershootControl control;
    EXPECT_THROW(control.SetPulse(TComplexArray(4)), EAssertionFailed);
    EXPECT_THROW(control.SetCeiling(0.0f), EAssertionFailed);
    EXPECT_THROW(control.SetCeiling(std::numeric_limits<float>::infinity()), EAssertionFailed);
    // no band: nothing can be corrected, the stream only goes through the delay
    TOvershootControl none = Control(1000, 1000);
    const TStream s = Tones(3000, 3 * kCeiling, 5);
    const TSingleArray out = Feed(none, s, {3000});
    EXPECT_EQ(none.Corrections(), 0);
    EXPECT_EQ(out[none.Delay() + 100], s.InPhase[100]);
}

} // namespace
} // namespace sonari
