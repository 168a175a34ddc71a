#include "SND/Exceptions.h"
#include "SND/Resampl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace sonari {
namespace {

constexpr double kPi = std::numbers::pi;

TOctaveResampler Configured(TResamplingFactor factor, int32_t smallBlock, float gainDb = 0.0f) {
    TOctaveResampler r;
    r.SetFactor(factor);
    r.SetBigBlockSize(smallBlock << factor);
    r.SetGainDb(gainDb);
    return r;
}

// Magnitude of one frequency in a block (a single DFT bin, any frequency).
double Amplitude(const TSingleArray& x, double frequency, double rate) {
    double re = 0, im = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        re += x[i] * std::cos(2 * kPi * frequency * double(i) / rate);
        im += x[i] * std::sin(2 * kPi * frequency * double(i) / rate);
    }
    return 2 * std::hypot(re, im) / double(x.size());
}

TSingleArray Sine(size_t n, double frequency, double rate, double amplitude, size_t offset = 0) {
    TSingleArray x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = float(amplitude * std::sin(2 * kPi * frequency * double(i + offset) / rate));
    return x;
}

TEST(ResamplerDesign, CoefficientsMatchTheCheckValues) {
    const auto f15 = TOctaveResampler::DesignHalfBand(4);
    const float expected15[] = {0.593113f, -0.110469f, 0.018722f, -0.001371f};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(f15.coefficients[k], expected15[k], 1e-6) << k;
    const auto f19 = TOctaveResampler::DesignHalfBand(5);
    const float expected19[] = {0.607184f, -0.137633f, 0.036648f, -0.006784f, 0.000589f};
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(f19.coefficients[k], expected19[k], 1e-6) << k;
    const auto f27 = TOctaveResampler::DesignHalfBand(7);
    EXPECT_NEAR(f27.coefficients[0], 0.620631f, 1e-6);
    EXPECT_NEAR(f27.coefficients[1], -0.168457f, 1e-6);
    EXPECT_NEAR(f27.coefficients[2], 0.066282f, 1e-6);
    const auto f151 = TOctaveResampler::DesignHalfBand(38);
    EXPECT_NEAR(f151.coefficients[0], 0.636006f, 1e-6);
    EXPECT_NEAR(f151.coefficients[1], -0.210372f, 1e-6);
    EXPECT_NEAR(f151.coefficients[2], 0.124288f, 1e-6);
}

TEST(ResamplerDesign, EveryHalfBandHasADcGainOfTwo) {
    for (int pairs : {4, 5, 7, 38}) {
        const auto f = TOctaveResampler::DesignHalfBand(pairs);
        double sum = f.centre;
        for (int k = 0; k < pairs; ++k)
            sum += 2.0 * f.coefficients[k];
        EXPECT_NEAR(sum, 2.0, 2e-5) << pairs;
    }
}

TEST(ResamplerProperties, DelayFollowsTheFactor) {
    const float delays[] = {0, 76, 166, 342, 692, 1392, 2792};
    TOctaveResampler r;
    EXPECT_EQ(r.Factor(), rf02x);
    EXPECT_EQ(r.Delay(), 76);
    EXPECT_EQ(r.SmallBlockSize(), 512);
    for (int f = rf01x; f <= rf64x; ++f) {
        r.SetFactor(TResamplingFactor(f));
        EXPECT_EQ(r.Delay(), delays[f]);
    }
}

TEST(ResamplerProperties, RatioRoundsInTheLogDomainAndRejectsImpossibleValues) {
    TOctaveResampler r;
    r.SetRatio(3);
    EXPECT_EQ(r.Factor(), rf04x);
    EXPECT_EQ(r.Ratio(), 4);
    r.SetRatio(6);
    EXPECT_EQ(r.Factor(), rf08x);
    r.SetRatio(48000 / 12000);
    EXPECT_EQ(r.Factor(), rf04x);
    r.SetRatio(1);
    EXPECT_EQ(r.Factor(), rf01x);
    r.SetRatio(64);
    EXPECT_EQ(r.Factor(), rf64x);
    for (int bad : {0, -2, 65, 128}) {
        try {
            r.SetRatio(bad);
            FAIL() << bad;
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(std::to_string(bad)), std::string::npos);
        }
    }
    EXPECT_EQ(r.Factor(), rf64x);
}

TEST(ResamplerProperties, BlockSizesFollowFactorAndBigBlockSize) {
    TOctaveResampler r;
    r.SetBigBlockSize(4096);
    r.SetFactor(rf04x);
    EXPECT_EQ(r.SmallBlockSize(), 1024);
    TSingleArray in(4096, 1.0f), out(1024);
    EXPECT_NO_THROW(r.Decimate(in, out));
    r.SetFactor(rf08x);
    EXPECT_EQ(r.SmallBlockSize(), 512);
    EXPECT_THROW(r.Decimate(in, out), EAssertionFailed); // the old length is rejected
}

TEST(ResamplerLengthCheck, WrongLengthsFailBeforeAnythingIsTouched) {
    TOctaveResampler r = Configured(rf02x, 1024);
    TSingleArray out(1024, 7.0f);
    try {
        r.Decimate(TSingleArray(2047), out);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Source(), "SND/Resampl");
    }
    EXPECT_EQ(out, TSingleArray(1024, 7.0f));
    TSingleArray shortOut(2047, 7.0f);
    EXPECT_THROW(r.Interpolate(TSingleArray(1024), shortOut), EAssertionFailed);
    EXPECT_EQ(shortOut, TSingleArray(2047, 7.0f));
    TSingleArray out2(2048);
    EXPECT_THROW(r.Interpolate(TSingleArray(1023), out2), EAssertionFailed);
    // A big block that is not a multiple of the ratio cannot fit the stage buffers.
    r.SetBigBlockSize(2049);
    TSingleArray odd(2049), half(1024);
    EXPECT_THROW(r.Decimate(odd, half), EAssertionFailed);
    EXPECT_THROW(r.SetBigBlockSize(-1), Exception);
}

TEST(ResamplerGain, UnityFactorCopiesOrScales) {
    TOctaveResampler r = Configured(rf01x, 1024);
    TSingleArray in = Sine(1024, 440, 12000, 1e9), out(1024);
    r.Interpolate(in, out);
    EXPECT_EQ(out, in);
    r.Decimate(in, out);
    EXPECT_EQ(out, in);
    r.SetGainDb(6);
    r.Interpolate(in, out);
    const float g = float(std::pow(10.0L, 6.0L / 20));
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(out[i], in[i] * g);
}

TEST(ResamplerGain, RejectsGainsThatAreNotFinite) {
    TOctaveResampler r;
    EXPECT_THROW(r.SetGainDb(NAN), Exception);
    EXPECT_THROW(r.SetGainDb(INFINITY), Exception);
    EXPECT_THROW(r.SetGainDb(1000.0f), Exception); // 10^50 overflows a float
    EXPECT_EQ(r.GainDb(), 0.0f);
}

TEST(ResamplerImpulse, InterpolationImpulseAppearsAtTheDelayWithTheGain) {
    for (float gainDb : {0.0f, 6.0f}) {
        TOctaveResampler r = Configured(rf02x, 512, gainDb);
        TSingleArray in(512, 0.0f), out(1024);
        in[0] = 1.0f;
        r.Interpolate(in, out);
        const float g = float(std::pow(10.0L, gainDb / 20.0L));
        EXPECT_EQ(out[76], g);
        // Odd distances carry the 151-tap filter, symmetric around the centre.
        const auto f = TOctaveResampler::DesignHalfBand(38, g);
        for (int k = 0; k < 38; ++k) {
            EXPECT_FLOAT_EQ(out[76 + 2 * k + 1], f.coefficients[k]);
            EXPECT_FLOAT_EQ(out[76 - 2 * k - 1], f.coefficients[k]);
        }
        // Even distances of a half-band filter are zero.
        EXPECT_EQ(out[74], 0.0f);
        EXPECT_EQ(out[78], 0.0f);
    }
}

TEST(ResamplerSteadyState, ConstantSettlesToTheGainForEveryFactorBothWays) {
    for (int f = rf02x; f <= rf64x; ++f) {
        for (float gainDb : {0.0f, -12.5f}) {
            const float a = 1e8f;
            const double expected = a * std::pow(10.0, gainDb / 20.0);
            TOctaveResampler down = Configured(TResamplingFactor(f), 256, gainDb);
            TOctaveResampler up = Configured(TResamplingFactor(f), 256, gainDb);
            TSingleArray big(256u << f, a), small(256, a), downOut(256), upOut(256u << f);
            for (int block = 0; block < 14; ++block) {
                down.Decimate(big, downOut);
                up.Interpolate(small, upOut);
            }
            for (float y : downOut)
                ASSERT_NEAR(y / expected, 1.0, 3e-5) << "decimate F=" << f;
            for (float y : upOut)
                ASSERT_NEAR(y / expected, 1.0, 3e-5) << "interpolate F=" << f;
        }
    }
}

TEST(ResamplerStreaming, BlockSplittingDoesNotChangeTheOutput) {
    for (int f : {rf02x, rf04x, rf16x}) {
        const auto factor = TResamplingFactor(f);
        const size_t total = 8192;
        TSingleArray signal = Sine(total << f, 700, 12000 << f, 3e8);
        for (size_t i = 0; i < signal.size(); i += 37)
            signal[i] += 1e8f; // something that is not a pure tone
        TOctaveResampler whole = Configured(factor, int32_t(total));
        TSingleArray wholeOut(total);
        whole.Decimate(signal, wholeOut);
        TOctaveResampler pieces = Configured(factor, 256);
        TSingleArray piece(256u << f), pieceOut(256);
        for (size_t b = 0; b < total / 256; ++b) {
            std::copy_n(signal.begin() + long((b * 256) << f), piece.size(), piece.begin());
            pieces.Decimate(piece, pieceOut);
            for (size_t i = 0; i < 256; ++i)
                ASSERT_EQ(pieceOut[i], wholeOut[b * 256 + i])
                    << "F=" << f << " sample " << b * 256 + i;
        }
        // And the way back up.
        TOctaveResampler wholeUp = Configured(factor, int32_t(total));
        TSingleArray wholeUpOut(total << f);
        wholeUp.Interpolate(wholeOut, wholeUpOut);
        TOctaveResampler piecesUp = Configured(factor, 512);
        TSingleArray upIn(512), upOut(512u << f);
        for (size_t b = 0; b < total / 512; ++b) {
            std::copy_n(wholeOut.begin() + long(b * 512), 512, upIn.begin());
            piecesUp.Interpolate(upIn, upOut);
            for (size_t i = 0; i < upOut.size(); ++i)
                ASSERT_EQ(upOut[i], wholeUpOut[(b * 512 << f) + i]);
        }
    }
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

TEST(ResamplerRoundTrip, PassBandSineSurvivesDecimationAndInterpolation) {
    // 48 kHz -> 12 kHz -> 48 kHz: the decimation cascade delays by 13 + 2*75 = 163 samples at the
    // high rate (each stage by 2K - 1 of its input samples), the interpolation by 166.
    const int delay = 163 + 166;
    TOctaveResampler down = Configured(rf04x, 1024), up = Configured(rf04x, 1024);
    TSingleArray in(4096), low(1024), out(4096);
    double worst = 0;
    for (int block = 0; block < 6; ++block) {
        in = Sine(4096, 1000, 48000, 1e9, size_t(block) * 4096);
        down.Decimate(in, low);
        up.Interpolate(low, out);
        if (block < 2)
            continue;
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = double(size_t(block) * 4096 + i) - delay;
            worst = std::max(worst, std::fabs(out[i] - 1e9 * std::sin(2 * kPi * 1000 * t / 48000)));
        }
    }
    EXPECT_LT(worst / 1e9, 1e-4);
}

TEST(ResamplerStopBand, AliasesAndImagesAreSuppressed) {
    // A 7.5 kHz tone at 48 kHz lies above the 6 kHz Nyquist of 12 kHz and would alias to 4.5 kHz.
    TOctaveResampler down = Configured(rf04x, 1024);
    TSingleArray low(1024);
    for (int block = 0; block < 4; ++block)
        down.Decimate(Sine(4096, 7500, 48000, 1e9, size_t(block) * 4096), low);
    EXPECT_LT(20 * std::log10(Amplitude(low, 4500, 12000) / 1e9), -90.0);

    // A tone near 5 kHz at 12 kHz has images near 7, 17 and 19 kHz after interpolation to
    // 48 kHz. Every frequency is a whole number of periods per block, so no leakage hides them.
    const double bin = 12000.0 / 1024, tone = 427 * bin;
    TOctaveResampler up = Configured(rf04x, 1024);
    TSingleArray high(4096);
    for (int block = 0; block < 4; ++block)
        up.Interpolate(Sine(1024, tone, 12000, 1e9, size_t(block) * 1024), high);
    EXPECT_NEAR(Amplitude(high, tone, 48000) / 1e9, 1.0, 1e-3);
    for (double image : {12000 - tone, 12000 + tone, 24000 - tone})
        EXPECT_LT(20 * std::log10(Amplitude(high, image, 48000) / 1e9), -90.0) << image;
}

} // namespace
} // namespace sonari
