#include "engine/TestTones.h"

#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

// Every DFT bin of the block other than `bins` lies at least 120 dB below the largest.
void ExpectOnlyBins(const TSingleArray& block, std::initializer_list<size_t> bins) {
    const auto bin = [&](size_t k) { return test::DftMagnitude(block, k / 1024.0L); };
    long double largest = 0;
    for (size_t k : bins)
        largest = std::max(largest, bin(k));
    for (size_t k = 0; k <= block.size() / 2; ++k)
        if (std::find(bins.begin(), bins.end(), k) == bins.end()) {
            EXPECT_LT(bin(k), largest * 1e-6L) << "bin " << k;
        }
}

TEST(TestTones, HoldWholePeriodsPerBlockWithEqualPeaksAndNoStepBetweenBlocks) {
    const TTestTones tones;
    const TSingleArray &single = *tones.Block(1), &two = *tones.Block(2);
    ASSERT_EQ(single.size(), 1024u);
    ASSERT_EQ(two.size(), 1024u);
    ExpectOnlyBins(single, {17});
    ExpectOnlyBins(two, {15, 19});
    EXPECT_NEAR(test::DftMagnitude(two, 15 / 1024.0L) / test::DftMagnitude(two, 19 / 1024.0L), 1.0L,
                1e-6L);
    EXPECT_EQ(test::Peak(single), 1072668096.0f);
    EXPECT_EQ(test::Peak(two), 1072668096.0f);
    for (const TSingleArray* x : {&single, &two}) {
        float largestStep = 0.0f;
        for (size_t n = 1; n < x->size(); ++n)
            largestStep = std::max(largestStep, std::fabs((*x)[n] - (*x)[n - 1]));
        // from the block's last sample to the next block's first
        EXPECT_LE(std::fabs(x->front() - x->back()), largestStep);
    }
}

} // namespace
} // namespace sonari
