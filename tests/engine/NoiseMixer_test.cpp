#include "engine/NoiseMixer.h"

#include <gtest/gtest.h>

#include <set>

namespace sonari {
namespace {

constexpr size_t kBlock = 1024;

TEST(NoiseMixer, WeightsFollowTheSignalToNoiseRatioAndSumToOne) {
    EXPECT_FLOAT_EQ(SignalWeight(0.0f), 0.5f);
    EXPECT_NEAR(1.0f - SignalWeight(50.0f), 0.00315f, 0.000005f);
    EXPECT_NEAR(SignalWeight(-30.0f), 0.0307f, 0.00005f);
    // amplitude ratio signal : noise = 10^(snr / 20)
    const float k = SignalWeight(20.0f);
    EXPECT_NEAR(k / (1.0f - k), 10.0f, 1e-4f);
    TSingleArray block(kBlock, 1000.0f);
    MixNoise(block, TSingleArray(kBlock, -3000.0f), 0, 0.0f);
    EXPECT_EQ(block, TSingleArray(kBlock, 0.5f * 1000.0f + 0.5f * -3000.0f));
}

// Noise sample i carries i, so the mixed block tells which samples were used.
TEST(NoiseMixer, NoiseLoopsOverItsWholeBlocksAndNeverPlaysTheTail) {
    TSingleArray noise(10000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<float>(i);
    std::set<size_t> firstSamples;
    for (int32_t blockCount = 0; blockCount < 20; ++blockCount) {
        TSingleArray block(kBlock, 0.0f);
        // -200 dB: the block is (almost exactly) the noise
        MixNoise(block, noise, blockCount, -200.0f);
        const auto first = static_cast<size_t>(block[0]);
        EXPECT_EQ(first, (blockCount % 9) * kBlock) << blockCount;
        EXPECT_EQ(block[kBlock - 1], static_cast<float>(first + kBlock - 1));
        firstSamples.insert(first);
    }
    EXPECT_EQ(firstSamples.size(), 9u); // the 784-sample tail never plays
}

TEST(NoiseMixer, NoiseOfLessThanOneBlockCountsAsSilence) {
    TSingleArray block(kBlock, 1000.0f);
    MixNoise(block, {}, 5, 0.0f);
    EXPECT_EQ(block, TSingleArray(kBlock, 1000.0f)); // none at all: left alone
    MixNoise(block, TSingleArray(1023, 5e8f), 3, 0.0f);
    EXPECT_EQ(block, TSingleArray(kBlock, 500.0f));
}

} // namespace
} // namespace sonari
