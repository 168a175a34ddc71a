#include "SND/LogFreq.h"

#include "SND/BlkSinc.h"
#include "SND/Exceptions.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonari {
namespace {

constexpr double kFullScale = 2147483647.0;
constexpr int kPoints = TLogFreqSpectrum::kPoints;

// -12 - 20 log10(2^31 - 1) - 10 log10(4096)
const double kOffsetDb = -12.0 - 20.0 * std::log10(kFullScale) - 10.0 * std::log10(4096.0);

TSingleArray Noise(int length, unsigned seed) { return test::Noise(length, 1e8f, seed); }

// Power of bin k of the windowed, zero-padded 4096-point frame, by a direct DFT.
long double DirectBinPower(const TSingleArray& frame2048, int k) {
    long double re = 0, im = 0;
    for (int j = 0; j < 2048; ++j) {
        const long double x = frame2048[j] * BlackmanHarris(j / 2048.0f);
        const long double angle = 2 * std::numbers::pi_v<long double> * k * j / 4096;
        re += x * std::cos(angle);
        im += x * std::sin(angle);
    }
    return re * re + im * im;
}

TEST(LogFreqSpectrum, ShowsSilenceAtTheGuardFloorForgetsItAtAResetAndAveragesUpToMaxCount) {
    TLogFreqSpectrum s;
    ASSERT_TRUE(s.Process(TSingleArray(1024, 0.0f), true));
    const float floorDb = static_cast<float>(-990.0 + kOffsetDb); // about -1224.8 dB
    ASSERT_EQ(s.SpectrumDb().size(), static_cast<size_t>(kPoints));
    for (float v : s.SpectrumDb())
        ASSERT_FLOAT_EQ(v, floorDb);
    s.Reset();
    EXPECT_TRUE(s.SpectrumDb().empty());
    EXPECT_TRUE(s.AverageDb().empty());
    EXPECT_EQ(s.Count(), 0);

    // the average of the dB spectra since, up to MaxCount of them
    s.MaxCount = 5;
    std::vector<double> sum(kPoints, 0.0);
    for (int block = 1; block <= 5; ++block) {
        s.Process(Noise(1024, 20 + block), true);
        for (int i = 0; i < kPoints; ++i)
            sum[i] += s.SpectrumDb()[i];
    }
    for (int i = 0; i < kPoints; i += 37)
        EXPECT_NEAR(s.AverageDb()[i], sum[i] / 5, 1e-3) << i;
    const TSingleArray frozen = s.AverageDb();
    s.Process(Noise(1024, 99), true);
    EXPECT_EQ(s.AverageDb(), frozen);
}

TEST(LogFreqSpectrum, MatchesADirectTransformOfTheLastTwoBlocks) {
    const TSingleArray a = Noise(1024, 4), b = Noise(1024, 5);
    TLogFreqSpectrum s;
    s.Process(a, true);
    s.Process(b, true);
    TSingleArray frame(a);
    frame.insert(frame.end(), b.begin(), b.end());
    // Point 0 interpolates bins 10 and 11 (f = 10.24); point 511 averages a band near the top.
    const long double f0 = 0.005L * 2048;
    const long double p0 = 0.76L * DirectBinPower(frame, 10) + 0.24L * DirectBinPower(frame, 11);
    EXPECT_NEAR(s.SpectrumDb()[0], 10 * std::log10(p0) + kOffsetDb, 0.01);
    const long double alpha = std::log(200.0L) / 512;
    const long double f = f0 * std::exp(alpha * 511), h = f * alpha;
    const int lo = static_cast<int>(std::nearbyint(f - h));
    const int hi = std::min(static_cast<int>(std::nearbyint(f + h)), 2047);
    long double sum = 0;
    for (int k = lo; k <= hi; ++k)
        sum += DirectBinPower(frame, k);
    EXPECT_NEAR(s.SpectrumDb()[511], 10 * std::log10(sum / (hi - lo + 1)) + kOffsetDb, 0.01);
}

TEST(LogFreqSpectrum, AnalysesEveryHalfFrameAndRejectsBlocksOfAnotherLengthBeforeChanging) {
    TLogFreqSpectrum s;
    EXPECT_THROW(s.Process(TSingleArray(1025, 1.0f), true), EAssertionFailed);
    EXPECT_THROW(s.Process(TSingleArray(), true), EAssertionFailed);
    EXPECT_TRUE(s.SpectrumDb().empty());
    s.Process(Noise(512, 40), true);
    const TSingleArray before = s.SpectrumDb();
    EXPECT_THROW(s.Process(TSingleArray(1024, 1.0f), true), EAssertionFailed);
    EXPECT_EQ(s.Count(), 1);
    EXPECT_EQ(s.SpectrumDb(), before);
    // after a reset any supported length; 256-sample blocks make a half frame of four
    s.Reset();
    for (int call = 1; call <= 12; ++call)
        EXPECT_EQ(s.Process(Noise(256, 10 + call), true), call % 4 == 0) << call;
}

} // namespace
} // namespace sonari
