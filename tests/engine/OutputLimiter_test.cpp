#include "engine/OutputLimiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace sonari {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(OutputLimiter, LimitIsTheFloatNearestToTheSpecifiedLevel) {
    const long double target = 0.999L * 2147483647.0L;
    const long double below = std::nextafter(kOutputLimit, 0.0f);
    const long double above = std::nextafter(kOutputLimit, kInf);
    EXPECT_LE(std::fabs(kOutputLimit - target), std::fabs(below - target));
    EXPECT_LE(std::fabs(kOutputLimit - target), std::fabs(above - target));
}

TEST(OutputLimiter, SamplesAtTheLimitPassWithoutOverload) {
    TSingleArray x = {2145336192.0f, -2145336192.0f, 0.0f, 1e9f, -1.5f};
    const TSingleArray before = x;
    EXPECT_FALSE(LimitOutput(x));
    EXPECT_EQ(x, before);
}

TEST(OutputLimiter, SamplesBeyondTheLimitAreClippedAndLightTheOverload) {
    TSingleArray x = {2145336320.0f, 1.0f, -2145336320.0f, 3e38f};
    EXPECT_TRUE(LimitOutput(x));
    EXPECT_EQ(x, (TSingleArray{kOutputLimit, 1.0f, -kOutputLimit, kOutputLimit}));
}

TEST(OutputLimiter, NonFiniteSamplesBecomeSilenceAndLightTheOverload) {
    for (float bad : {kNaN, kInf, -kInf}) {
        TSingleArray x = {5.0f, bad, -7.0f};
        EXPECT_TRUE(LimitOutput(x));
        EXPECT_EQ(x, (TSingleArray{5.0f, 0.0f, -7.0f}));
    }
}

} // namespace
} // namespace sonari
