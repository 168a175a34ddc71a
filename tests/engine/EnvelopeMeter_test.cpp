#include "engine/EnvelopeMeter.h"

#include "tests/support/Envelope.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace sonari {
namespace {

constexpr long double kRate = 12000;

// A tone of `amplitude` that fades in and out over 100 ms each, so it has no edge whose envelope
// would ring.
TSingleArray SmoothTone(size_t length, long double hz, long double amplitude) {
    TSingleArray x = test::Sine(length, hz / kRate, amplitude);
    const size_t fade = 1200;
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

TEST(EnvelopeMeter, MeasuresTonesAcrossTheBandAndBandLimitedNoiseAsTheWholeSignalsEnvelope) {
    for (long double hz : {90.0L, 300.0L, 1000.0L, 2700.0L, 5900.0L})
        EXPECT_NEAR(test::Db(PeakOf(SmoothTone(6000, hz, 1e9L)) / 1e9L), 0.0L, 0.01L) << hz;
    // noise through a crude band-pass: the difference of two moving averages
    const TSingleArray noise = test::Noise(12000, 1e8f, 5);
    TSingleArray x(noise.size(), 0.0f);
    for (size_t n = 8; n < noise.size(); ++n) {
        double narrow = 0, wide = 0;
        for (size_t k = 0; k < 2; ++k)
            narrow += noise[n - k] / 2.0;
        for (size_t k = 0; k < 8; ++k)
            wide += noise[n - k] / 8.0;
        x[n] = static_cast<float>(narrow - wide);
    }
    const TSingleArray reference = test::AnalyticEnvelope(x);
    const float want = *std::max_element(reference.begin(), reference.end());
    EXPECT_NEAR(test::Db(static_cast<long double>(PeakOf(x)) / want), 0.0L, 0.05L);
}

TEST(EnvelopeMeter, FinishMeasuresTheLastSamplesAndResetForgetsEverything) {
    // a Hann-shaped burst whose top lies 150 samples before the end: within the last
    // kHalfLength samples, which only Finish measures
    TSingleArray x = test::Sine(3000, 1500 / kRate, 5e8L);
    for (size_t n = 0; n < x.size(); ++n) {
        const size_t fromEnd = x.size() - 1 - n;
        x[n] *= fromEnd < 300
                    ? static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * fromEnd / 300))
                    : 0.0f;
    }
    TEnvelopeMeter meter;
    meter.Add(x);
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
