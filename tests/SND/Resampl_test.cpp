#include "SND/Exceptions.h"
#include "SND/Resampl.h"
#include "tests/SND/SimdTesting.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace sonari {
namespace {

using test::Sine;

TOctaveResampler Configured(TResamplingFactor factor, int32_t smallBlock, float gainDb = 0.0f) {
    TOctaveResampler r;
    r.SetFactor(factor);
    r.SetBigBlockSize(smallBlock << factor);
    r.SetGainDb(gainDb);
    return r;
}

// Level in dB of a frequency in the last `block` samples of x relative to `amplitude` (a single
// DFT bin, any frequency).
double LevelDb(const TSingleArray& x, size_t block, double frequency, double rate,
               double amplitude) {
    const TSingleArray last(x.end() - long(block), x.end());
    return double(test::Db(2 * test::DftMagnitude(last, frequency / rate) / block / amplitude));
}

TEST(ResamplerDesign, CoefficientsMatchTheCheckValues) {
    const struct {
        int pairs;
        std::vector<float> first;
    } checks[] = {{4, {0.593113f, -0.110469f, 0.018722f, -0.001371f}},
                  {5, {0.607184f, -0.137633f, 0.036648f, -0.006784f, 0.000589f}},
                  {7, {0.620631f, -0.168457f, 0.066282f}},
                  {38, {0.636006f, -0.210372f, 0.124288f}}};
    for (const auto& c : checks) {
        const auto f = TOctaveResampler::DesignHalfBand(c.pairs);
        for (size_t k = 0; k < c.first.size(); ++k)
            EXPECT_NEAR(f.coefficients[k], c.first[k], 1e-6) << c.pairs << " pairs, h" << k;
    }
}

TEST(ResamplerProperties, RatioRoundsInTheLogDomainAndRejectsImpossibleValues) {
    TOctaveResampler r;
    for (auto [ratio, factor] : {std::pair{3, rf04x}, {6, rf08x}, {1, rf01x}, {64, rf64x}}) {
        r.SetRatio(ratio);
        EXPECT_EQ(r.Factor(), factor) << ratio;
    }
    for (int bad : {0, 65})
        EXPECT_NE(test::MessageOf<Exception>([&] { r.SetRatio(bad); }).find(std::to_string(bad)),
                  std::string::npos);
    EXPECT_EQ(r.Factor(), rf64x);
}

TEST(ResamplerLengthCheck, WrongLengthsFailBeforeAnythingIsTouched) {
    TOctaveResampler r = Configured(rf02x, 1024);
    TSingleArray out(1024, 7.0f);
    EXPECT_THROW(r.Decimate(TSingleArray(2047), out), EAssertionFailed);
    EXPECT_EQ(out, TSingleArray(1024, 7.0f));
    TSingleArray shortOut(2047, 7.0f);
    EXPECT_THROW(r.Interpolate(TSingleArray(1024), shortOut), EAssertionFailed);
    // The small block follows the factor: after a change the old length is wrong.
    r.SetFactor(rf04x);
    EXPECT_THROW(r.Decimate(TSingleArray(2048), out), EAssertionFailed);
    EXPECT_THROW(r.SetBigBlockSize(-1), Exception);
}

TEST(ResamplerGain, UnityFactorCopiesOrScalesAndNonFiniteGainsAreRefused) {
    TOctaveResampler r = Configured(rf01x, 1024);
    TSingleArray in = Sine(1024, 440.0 / 12000, 1e9), out(1024);
    r.Decimate(in, out);
    EXPECT_EQ(out, in);
    for (float bad : {NAN, INFINITY, 1000.0f}) // 10^50 overflows a float
        EXPECT_THROW(r.SetGainDb(bad), Exception) << bad;
    r.SetGainDb(6);
    r.Interpolate(in, out);
    const float g = float(std::pow(10.0L, 6.0L / 20));
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(out[i], in[i] * g);
}

// Runs x through `r` in blocks of `in` samples, down or up; the outputs joined.
TSingleArray InBlocks(TOctaveResampler r, bool up, const TSingleArray& x, size_t in) {
    const size_t out = up ? in << r.Factor() : in >> r.Factor();
    TSingleArray block(in), result(x.size() / in * out);
    for (size_t b = 0; b < x.size() / in; ++b) {
        std::copy_n(x.begin() + long(b * in), in, block.begin());
        TSingleArray piece(out);
        up ? r.Interpolate(block, piece) : r.Decimate(block, piece);
        std::copy(piece.begin(), piece.end(), result.begin() + long(b * out));
    }
    return result;
}

TEST(ResamplerStreaming, GainChangeKeepsTheHistory) {
    TOctaveResampler r = Configured(rf04x, 1024);
    TSingleArray in(1024, 1e8f), out(4096);
    for (int i = 0; i < 3; ++i)
        r.Interpolate(in, out);
    r.SetGainDb(-6);
    r.Interpolate(in, out);
    // The higher stages still hold a few samples at the old gain: the output steps from the
    // old level to the new one at once (with the filters' ringing of the step), without the
    // dip of a start-up transient.
    const double newLevel = 1e8 * std::pow(10.0, -6.0 / 20.0), step = 1e8 - newLevel;
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_GT(out[i], newLevel - 0.15 * step) << i;
        ASSERT_LT(out[i], 1e8 + 0.15 * step) << i;
        if (i >= 32) {
            ASSERT_NEAR(out[i] / newLevel, 1.0, 3e-5) << i;
        }
    }
    r.Reset();
    r.Interpolate(in, out);
    EXPECT_EQ(out[0], 0.0f); // a reset does start from silence
}

TEST(ResamplerStopBand, AliasesAndImagesAreSuppressed) {
    // A 7.5 kHz tone at 48 kHz lies above the 6 kHz Nyquist of 12 kHz and would alias to 4.5 kHz.
    const TSingleArray low =
        InBlocks(Configured(rf04x, 1024), false, Sine(4 * 4096, 7500.0 / 48000, 1e9), 4096);
    EXPECT_LT(LevelDb(low, 1024, 4500, 12000, 1e9), -90.0);

    // A tone near 5 kHz at 12 kHz has images near 7, 17 and 19 kHz after interpolation to
    // 48 kHz. Every frequency is a whole number of periods per block, so no leakage hides them.
    const double bin = 12000.0 / 1024, tone = 427 * bin;
    const TSingleArray high =
        InBlocks(Configured(rf04x, 1024), true, Sine(4 * 1024, tone / 12000, 1e9), 1024);
    EXPECT_NEAR(LevelDb(high, 4096, tone, 48000, 1e9), 0.0, 0.01);
    for (double image : {12000 - tone, 12000 + tone, 24000 - tone})
        EXPECT_LT(LevelDb(high, 4096, image, 48000, 1e9), -90.0) << image;
}

// The cascade as first written: every tap summed in extended precision, stages joined by float
// buffers, the whole signal at once from zero history.
struct TReferenceCascade {
    TResamplingFactor factor;
    float gain;

    TOctaveResampler::THalfBand Filter(int position, bool decimate) const {
        static constexpr int kPairs[] = {38, 7, 5, 4, 4, 4};
        if (position > 1)
            return TOctaveResampler::DesignHalfBand(kPairs[position - 1]);
        return TOctaveResampler::DesignHalfBand(38, gain, decimate ? float(1 << factor) : 1.0f);
    }

    TSingleArray Decimate(TSingleArray x) const {
        for (int p = factor; p >= 1; --p) {
            const auto f = Filter(p, true);
            x.insert(x.begin(), size_t(4 * f.pairs - 2), 0.0f);
            TSingleArray y((x.size() - size_t(4 * f.pairs - 2)) / 2);
            for (size_t i = 0; i < y.size(); ++i) {
                const size_t c = 2 * i + size_t(2 * f.pairs - 1);
                long double sum = static_cast<long double>(f.centre) * x[c];
                for (size_t k = 0; k < size_t(f.pairs); ++k)
                    sum += f.coefficients[k] *
                           (static_cast<long double>(x[c - 2 * k - 1]) + x[c + 2 * k + 1]);
                y[i] = float(sum);
            }
            x = std::move(y);
        }
        return x;
    }

    TSingleArray Interpolate(TSingleArray x) const {
        for (int p = 1; p <= factor; ++p) {
            const auto f = Filter(p, false);
            x.insert(x.begin(), size_t(2 * f.pairs - 1), 0.0f);
            TSingleArray y(2 * (x.size() - size_t(2 * f.pairs - 1)));
            for (size_t i = 0; i < y.size() / 2; ++i) {
                const size_t j = i + size_t(f.pairs - 1);
                y[2 * i] = float(static_cast<long double>(f.centre) * x[j]);
                long double sum = 0.0L;
                for (size_t k = 0; k < size_t(f.pairs); ++k)
                    sum += f.coefficients[k] * (static_cast<long double>(x[j - k]) + x[j + 1 + k]);
                y[2 * i + 1] = float(sum);
            }
            x = std::move(y);
        }
        return x;
    }
};

// Distance in float ulps, measured in the spacing of floats at the reference value.
double UlpDistance(float got, float want) {
    const float spacing = std::nextafter(std::fabs(want), INFINITY) - std::fabs(want);
    return std::fabs(double(got) - double(want)) / spacing;
}

// The start of a signal, cut to a whole number of blocks.
TSingleArray WholeBlocks(const TSingleArray& x, size_t block, size_t blocks) {
    return TSingleArray(x.begin(), x.begin() + long(std::min(x.size() / block, blocks) * block));
}

// Every path gives the same bits, each sample within one ulp of the cascade.
TEST(ResamplerPrecision, EverySampleIsWithinOneUlpOfTheExtendedPrecisionCascadeOnEveryPath) {
    // 301 low-rate samples per block: no path's registers divide it, so every kernel's tail runs.
    const size_t small = 301;
    const TSingleArray noise = test::Noise(small << 6, 3e8f, 11);
    for (int f = rf02x; f <= rf64x; ++f) {
        const auto factor = TResamplingFactor(f);
        const TReferenceCascade reference{factor, float(std::pow(10.0L, -7.25L / 20))};
        const size_t big = small << f;
        for (bool up : {false, true}) {
            const TSingleArray input =
                up ? WholeBlocks(noise, small, 40) : WholeBlocks(noise, big, 6);
            const TSingleArray want = up ? reference.Interpolate(input) : reference.Decimate(input);
            test::ExpectSameBitsOnEveryPath(
                [&](TSimdPath path) {
                    TOctaveResampler r = Configured(factor, int32_t(small), -7.25f);
                    EXPECT_EQ(r.SimdPath(), path);
                    const TSingleArray got = InBlocks(r, up, input, up ? small : big);
                    EXPECT_EQ(got.size(), want.size());
                    double worst = 0;
                    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
                        worst = std::max(worst, UlpDistance(got[i], want[i]));
                    EXPECT_LE(worst, 1.0) << SimdPathName(path);
                    return got;
                },
                std::string(up ? "up" : "down") + " F=" + std::to_string(f));
        }
    }
}

} // namespace
} // namespace sonari
