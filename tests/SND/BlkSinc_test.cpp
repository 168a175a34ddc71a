#include "SND/BlkSinc.h"
#include "SND/SndTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>

namespace sonari {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(ComplexArithmetic, MultipliesWithASingleRoundingSoCancellationKeepsTheLowBits) {
    const TComplex p = ComplexMul({3.0f, -2.0f}, {0.5f, 4.0f});
    EXPECT_EQ(p.Re, 3.0f * 0.5f + 2.0f * 4.0f);
    EXPECT_EQ(p.Im, -2.0f * 0.5f + 3.0f * 4.0f);
    // (1 + 2^-12)^2 - 1 = 2^-11 + 2^-24: exact in a float, lost if the square were rounded
    // to a float before the subtraction
    const float x = 1.0f + std::ldexp(1.0f, -12);
    const TComplex q = ComplexMul({x, 1.0f}, {x, 1.0f});
    EXPECT_EQ(q.Re, std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));
    const TComplex s = ComplexAdd({1.5f, -2.0f}, {0.25f, 4.0f});
    EXPECT_EQ(s.Re, 1.75f);
    EXPECT_EQ(s.Im, 2.0f);
}

TEST(KernelHelpers, WindowAndSincHaveTheirDocumentedValues) {
    EXPECT_NEAR(BlackmanHarris(0.0f), 0.00006f, 1e-7f);
    EXPECT_FLOAT_EQ(BlackmanHarris(0.5f), 1.0f);
    for (float x : {0.1f, 0.25f, 0.4f})
        EXPECT_NEAR(BlackmanHarris(x), BlackmanHarris(1.0f - x), 1e-6f) << x;
    EXPECT_FLOAT_EQ(Sinc(0, 0.1f), static_cast<float>(2 * kPi * 0.1));
    EXPECT_FLOAT_EQ(Sinc(3, 0.1f), static_cast<float>(std::sin(2 * kPi * 0.1 * 3) / 3));
    EXPECT_FLOAT_EQ(Sinc(-3, 0.1f), Sinc(3, 0.1f));
}

TEST(SincKernel, IsCentredAtHalfTheLengthWithZerosAtMultiplesOfTheHalfPeriod) {
    TSingleArray k{1.0f, 2.0f};
    MakeSincKernel(256, k, 0.25f);
    ASSERT_EQ(k.size(), 256u);
    EXPECT_FLOAT_EQ(k[128], static_cast<float>(kPi / 2));
    EXPECT_NEAR(k[126], 0.0f, 1e-7f);
    EXPECT_NEAR(k[130], 0.0f, 1e-7f);
    for (int i = 1; i < 128; ++i)
        ASSERT_FLOAT_EQ(k[128 - i], k[128 + i]) << i;
    MakeSincKernel(0, k, 0.25f);
    EXPECT_TRUE(k.empty());
}

TEST(SincKernel, IsALowPassWithHalfAmplitudeAtTheCutoff) {
    const float fc = 0.1f;
    TSingleArray k;
    MakeSincKernel(255, k, fc);
    const double sum = std::accumulate(k.begin(), k.end(), 0.0);
    EXPECT_NEAR(sum, kPi, 0.01);
    auto gain = [&](double f) {
        double re = 0, im = 0;
        for (size_t i = 0; i < k.size(); ++i) {
            re += k[i] * std::cos(2 * kPi * f * i);
            im += k[i] * std::sin(2 * kPi * f * i);
        }
        return std::hypot(re, im) / sum;
    };
    EXPECT_NEAR(gain(fc), 0.5, 0.01);
    EXPECT_NEAR(gain(fc / 2), 1.0, 1e-3);
    EXPECT_LT(gain(2 * fc), 1e-4);
}

} // namespace
} // namespace sonari
