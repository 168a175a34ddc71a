#include "SND/BlkSinc.h"
#include "SND/SndTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

// The kernels' responses are proven through the equalizer's; the helpers' exact values here.

namespace sonari {
namespace {

TEST(ComplexArithmetic, MultipliesWithASingleRoundingSoCancellationKeepsTheLowBits) {
    const TComplex p = ComplexMul({3.0f, -2.0f}, {0.5f, 4.0f});
    EXPECT_EQ(p.Re, 3.0f * 0.5f + 2.0f * 4.0f);
    EXPECT_EQ(p.Im, -2.0f * 0.5f + 3.0f * 4.0f);
    // (1 + 2^-12)^2 - 1 = 2^-11 + 2^-24: exact in a float, lost if the square were rounded
    // to a float before the subtraction
    const float x = 1.0f + std::ldexp(1.0f, -12);
    EXPECT_EQ(ComplexMul({x, 1.0f}, {x, 1.0f}).Re, std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));
}

TEST(SincKernel, IsASymmetricWindowedSincCentredAtHalfTheLength) {
    EXPECT_NEAR(BlackmanHarris(0.0f), 0.00006f, 1e-7f);
    EXPECT_FLOAT_EQ(BlackmanHarris(0.5f), 1.0f);
    TSingleArray k{1.0f, 2.0f};
    MakeSincKernel(256, k, 0.25f);
    ASSERT_EQ(k.size(), 256u);
    EXPECT_FLOAT_EQ(k[128], static_cast<float>(std::numbers::pi / 2)); // the limit 2 pi fc
    EXPECT_NEAR(k[126], 0.0f, 1e-7f);
    for (int i = 1; i < 128; ++i)
        ASSERT_FLOAT_EQ(k[128 - i], k[128 + i]) << i;
    MakeSincKernel(0, k, 0.25f);
    EXPECT_TRUE(k.empty());
}

} // namespace
} // namespace sonari
