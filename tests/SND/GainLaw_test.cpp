#include "SND/GainLaw.h"
#include "SND/SpectrumKernels.h"
#include "tests/SND/SimdTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace sonari {
namespace {

// Envelopes over the whole range the gain stage meets (2^31 scale, silence to overload) with the
// values that break arithmetic mixed in (not NaN: the equalizer's input guard keeps it out).
std::vector<float> Envelopes(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> exponent(-40.0, 36.0);
    std::vector<float> x(count);
    for (float& v : x)
        v = static_cast<float>(std::exp2(exponent(rng)));
    const float special[] = {0.0f,    1e-10f,   1e-45f,        1.0f,  1073741824.0f,
                             3.4e38f, INFINITY, 2147483648.0f, 1e-30f};
    for (size_t i = 0; i < std::size(special) && i < count; ++i)
        x[i * 7 % count] = special[i];
    return x;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The vector gains are the floats of the sample-by-sample definition, on every path, for
// parameters the fast arithmetic takes and for those it must leave to the definition.
TEST(GainLaw, BlockGainsAreTheDefinitionsFloatsOnEveryPath) {
    struct TCase {
        float clip, gate, compression;
    };
    const TCase cases[] = {
        {1073741824.0f, 2147483.0f, 1.0f}, // ratio 1: one gain above the gate
        {268435456.0f, 6442450.0f, 0.37f}, // expanding
        {2147483648.0f, 0.0f, 15.0f},      // no gate, steep compression
        {1e-6f, 1e-7f, 3.0f},              // below the fast arithmetic's bounds
        {5e20f, 1e3f, 1.0f / 3.0f},        // above them
        {1073741824.0f, 4e9f, 1.7f},       // gate above the clip threshold
    };
    const std::vector<float> envelope = Envelopes(40000, 1);
    const std::vector<float> sample = Envelopes(40000, 2);
    for (const TCase& c : cases) {
        TGainLaw law;
        law.Set(c.clip, c.gate, c.compression);
        for (TSimdPath path : test::SupportedPaths()) {
            SCOPED_TRACE(testing::Message() << c.clip << " " << c.gate << " " << c.compression
                                            << " " << SimdPathName(path));
            std::vector<float> gains(envelope.size());
            law.Gains(path, envelope.data(), sample.data(), gains.data(), gains.size());
            size_t wrong = 0;
            for (size_t i = 0; i < gains.size(); ++i)
                wrong += !SameBits(gains[i], law.Gain(envelope[i], sample[i]));
            EXPECT_EQ(wrong, 0u);
            for (float g : gains)
                EXPECT_TRUE(std::isfinite(g) && g >= 0) << g;
        }
    }
}

// The sample, not only the envelope, is held to K (the continuity at the gate and the static
// curve are the equalizer's tests).
TEST(GainLaw, NothingLeavesTheStageAboveTheClipLevel) {
    TGainLaw law;
    law.Set(536870912.0f, 1e7f, 2.0f);
    for (float s : {1e8f, 2e9f, 1e12f})
        EXPECT_LE(law.Gain(2e9f, s) * s, TGainLaw::kClipLevel * (1 + 1e-6f));
}

// The smoother is the extended-precision recursion, stored as floats, with its floor.
TEST(GainLaw, TheEnvelopeSmootherIsTheExtendedPrecisionRecursion) {
    std::vector<float> sample = Envelopes(20000, 3);
    for (float& v : sample)
        v = std::isfinite(v) ? v : 0.0f; // the equalizer guards its input
    std::vector<float> smoothed(sample.size());
    const float last = SmoothEnvelope(1e-10f, sample.data(), smoothed.data(), sample.size());
    float envelope = 1e-10f;
    size_t wrong = 0;
    for (size_t i = 0; i < sample.size(); ++i) {
        envelope = std::max(static_cast<float>(0.995L * envelope + 0.005L * sample[i]), 1e-10f);
        wrong += !SameBits(envelope, smoothed[i]);
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_TRUE(SameBits(last, envelope));
}

TEST(SpectrumKernels, ProductsAndMagnitudesAreTheExtendedPrecisionOnesOnEveryPath) {
    const std::vector<float> values = Envelopes(2 * 4099, 4);
    std::vector<TComplex> a(4099), b(4099);
    for (size_t k = 0; k < a.size(); ++k) {
        const float sign = k % 3 ? 1.0f : -1.0f;
        a[k] = {std::isfinite(values[k]) ? sign * values[k] * 1e-20f : 0.5f, -values[k] * 0.0f};
        a[k].Im = std::isfinite(values[k + 1]) ? values[k + 1] * 1e-21f : 0.25f;
        b[k] = {std::isfinite(values[4099 + k]) ? values[4099 + k] * 1e-20f : 2.0f, sign * 0.7f};
    }
    for (TSimdPath path : test::SupportedPaths()) {
        std::vector<TComplex> product(a.size());
        std::vector<float> magnitude(a.size());
        MultiplySpectra(path, a.data(), b.data(), product.data(), a.size());
        Magnitudes(path, a.data(), magnitude.data(), a.size());
        size_t wrong = 0;
        for (size_t k = 0; k < a.size(); ++k) {
            const TComplex expected = ComplexMul(a[k], b[k]);
            wrong += !SameBits(product[k].Re, expected.Re) || !SameBits(product[k].Im, expected.Im);
            const long double re = a[k].Re, im = a[k].Im;
            wrong += !SameBits(magnitude[k], static_cast<float>(std::sqrt(re * re + im * im)));
        }
        EXPECT_EQ(wrong, 0u) << SimdPathName(path);
    }
}

} // namespace
} // namespace sonari
