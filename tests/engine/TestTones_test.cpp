#include "engine/TestTones.h"

#include "SignalMath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

using test::DftMagnitude;

float PeakMagnitude(const TSingleArray& x) {
    float peak = 0.0f;
    for (float v : x)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

// Every DFT bin of the block other than `bins` is at least 120 dB below the largest.
void ExpectOnlyBins(const TSingleArray& block, std::initializer_list<size_t> bins) {
    long double largest = 0;
    for (size_t k : bins)
        largest = std::max(largest, DftMagnitude(block, k));
    for (size_t k = 0; k <= block.size() / 2; ++k) {
        if (std::find(bins.begin(), bins.end(), k) != bins.end())
            continue;
        EXPECT_LT(DftMagnitude(block, k), largest * 1e-6L) << "bin " << k;
    }
}

TEST(TestTones, SingleToneHoldsSeventeenWholePeriodsPerBlock) {
    const TTestTones tones;
    const TSingleArray& block = *tones.Block(1);
    ASSERT_EQ(block.size(), 1024u);
    ExpectOnlyBins(block, {17});
}

TEST(TestTones, TwoToneHoldsFifteenAndNineteenWholePeriodsPerBlock) {
    const TTestTones tones;
    const TSingleArray& block = *tones.Block(2);
    ASSERT_EQ(block.size(), 1024u);
    ExpectOnlyBins(block, {15, 19});
    EXPECT_NEAR(DftMagnitude(block, 15) / DftMagnitude(block, 19), 1.0L, 1e-6L);
}

TEST(TestTones, BlocksJoinWithoutAStep) {
    const TTestTones tones;
    for (int mode : {1, 2}) {
        const TSingleArray& x = *tones.Block(mode);
        float largestStep = 0.0f;
        for (size_t n = 1; n < x.size(); ++n)
            largestStep = std::max(largestStep, std::fabs(x[n] - x[n - 1]));
        // From the block's last sample to the next block's first.
        EXPECT_LE(std::fabs(x.front() - x.back()), largestStep) << "mode " << mode;
    }
}

TEST(TestTones, TwoTonePeakEqualsSingleTonePeak) {
    const TTestTones tones;
    EXPECT_EQ(PeakMagnitude(*tones.Block(1)), 1072668096.0f);
    EXPECT_EQ(PeakMagnitude(*tones.Block(2)), 1072668096.0f);
}

} // namespace
} // namespace sonari
