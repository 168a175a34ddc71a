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
    TSingleArray mixed(kBlock);
    MixNoise(TSingleArray(kBlock, 1000.0f), TSingleArray(kBlock, -3000.0f), 0, 0.5f, mixed);
    EXPECT_EQ(mixed, TSingleArray(kBlock, 0.5f * 1000.0f + 0.5f * -3000.0f));
    // noise of less than one block counts as silence
    MixNoise(TSingleArray(kBlock, 1000.0f), TSingleArray(1023, 5e8f), 3, 0.5f, mixed);
    EXPECT_EQ(mixed, TSingleArray(kBlock, 500.0f));
}

// Noise sample i carries i, so the mixed block tells which samples were used. Blocks of any
// length walk the same loop of whole 1024-sample blocks.
TEST(NoiseMixer, NoiseLoopsOverItsWholeBlocksAndNeverPlaysTheTail) {
    TSingleArray noise(10000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<float>(i);
    for (size_t length : {kBlock, size_t{256}}) {
        std::set<size_t> firstSamples;
        for (int64_t position = 0; position < 20 * 1024; position += int64_t(length)) {
            TSingleArray mixed(length);
            // weight 0: the block is the noise
            MixNoise(TSingleArray(length, 0.0f), noise, position, 0.0f, mixed);
            const auto first = static_cast<size_t>(mixed[0]);
            EXPECT_EQ(first, static_cast<size_t>(position % (9 * 1024))) << position;
            EXPECT_EQ(mixed[length - 1], static_cast<float>(first + length - 1));
            firstSamples.insert(first / kBlock);
        }
        EXPECT_EQ(firstSamples.size(), 9u); // the 784-sample tail never plays
    }
}

} // namespace
} // namespace sonari
