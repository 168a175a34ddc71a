#include "engine/OutputLimiter.h"

#include <gtest/gtest.h>

#include <limits>

namespace sonari {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// 0.999 (2^31 - 1) lies between the floats 2145336192 and 2145336320, nearer the first.
TEST(OutputLimiter, PassesSamplesUpToTheLimitAndClipsBeyondWithTheOverloadLit) {
    TSingleArray x = {2145336192.0f, -2145336192.0f, 0.0f, 1e9f, -1.5f};
    const TSingleArray before = x;
    EXPECT_FALSE(LimitOutput(x));
    EXPECT_EQ(x, before);
    x = {2145336320.0f, 1.0f, -2145336320.0f, 3e38f};
    EXPECT_TRUE(LimitOutput(x));
    EXPECT_EQ(x, (TSingleArray{2145336192.0f, 1.0f, -2145336192.0f, 2145336192.0f}));
}

TEST(OutputLimiter, NonFiniteSamplesBecomeSilenceAndLightTheOverload) {
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf}) {
        TSingleArray x = {5.0f, bad, -7.0f};
        EXPECT_TRUE(LimitOutput(x));
        EXPECT_EQ(x, (TSingleArray{5.0f, 0.0f, -7.0f}));
    }
}

} // namespace
} // namespace sonari
