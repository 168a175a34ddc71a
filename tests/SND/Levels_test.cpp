#include "SND/Levels.h"
#include "SND/Rounding.h"

#include <gtest/gtest.h>

#include <limits>

namespace sonari {
namespace {

TEST(Levels, DbfsIsRelativeToTheLargest32BitSampleAndSilenceStaysFinite) {
    EXPECT_NEAR(Dbfs(2147483647.0L), 0.0L, 1e-12L);
    EXPECT_NEAR(Dbfs(0), -1980.0L, 1e-9L);
    EXPECT_EQ(static_cast<float>(DbfsToAmplitude(-30.0L)), 67909392.0f);
    EXPECT_NEAR(GainToDb(DbToGain(-7.5L)), -7.5L, 1e-15L);
    // the largest float below 2^31 and 2^31 itself are neighbours
    EXPECT_EQ(std::nextafter(kLargestSample, kFullScale), kFullScale);
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndEverythingStaysInRange) {
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(3.5L), 4);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
    EXPECT_EQ(RoundHalfEven(-2.6L), -3);
    EXPECT_EQ(RoundHalfEven(1e20L), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(RoundHalfEven(-1e20L), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<long double>::quiet_NaN()), 0);
}

} // namespace
} // namespace sonari
