#include "engine/DcBlocker.h"
#include "engine/NoiseMixer.h"
#include "engine/OutputLimiter.h"
#include "engine/ProcessingChain.h"
#include "engine/TestTones.h"

#include "SND/Exceptions.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <set>
#include <utility>
#include <vector>

namespace sonari {
namespace {

using test::FittedAmplitude;
using test::Sine;

// An equalizer on whole blocks with its stages as given. At unit gain without gate the clipper
// is linear, so an impulse shows its path's delay too.
TChainParameters Parameters(bool equalizerOn, bool clipperOn, bool linearClipper = false,
                            bool overshootControl = true) {
    TMicEqualizer equalizer;
    equalizer.SetDataBlockSize(1024);
    equalizer.SetEqualizerEnabled(equalizerOn);
    equalizer.SetClipperEnabled(clipperOn);
    if (linearClipper) {
        equalizer.SetClipThreshold(TMicEqualizer::kClipLevel);
        equalizer.SetGateThreshold(1e-20f);
    }
    equalizer.SetOvershootControl(overshootControl);
    TChainParameters p;
    p.Equalizer = equalizer.Parameters();
    return p;
}

// Duplex at one rate: the microphone through the whole chain.
TChainLayout Duplex(int32_t rate) { return {rate, rate, true, false, 1024}; }

// Feeds `signal` block by block (the last one padded with silence); returns the output.
TSingleArray Stream(TProcessingChain& chain, const TSingleArray& signal) {
    TSingleArray in(static_cast<size_t>(chain.InputFrames()));
    TSingleArray out(static_cast<size_t>(chain.OutputFrames()));
    TSingleArray played;
    for (size_t first = 0; first < signal.size(); first += in.size()) {
        const size_t count = std::min(in.size(), signal.size() - first);
        std::fill(in.begin(), in.end(), 0.0f);
        std::copy_n(signal.begin() + static_cast<ptrdiff_t>(first), count, in.begin());
        chain.Process(in, out);
        played.insert(played.end(), out.begin(), out.end());
    }
    return played;
}

size_t LoudestAt(const TSingleArray& x) {
    return static_cast<size_t>(
        std::max_element(x.begin(), x.end(),
                         [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
        x.begin());
}

TEST(ProcessingChain, LatencyIsTheDelayOfAnImpulseAtEveryRate) {
    const std::vector<std::pair<const char*, TChainParameters>> setups = {
        {"equalizer", Parameters(true, false)},
        {"nothing", Parameters(false, false)},
        {"clipper", Parameters(true, true, true, false)},
        {"clipper and overshoot control", Parameters(true, true, true, true)}};
    for (int32_t rate : {12000, 24000, 48000, 96000, 192000}) {
        for (const auto& [name, parameters] : setups) {
            TProcessingChain chain;
            chain.Prepare(Duplex(rate), parameters);
            const size_t at = static_cast<size_t>(rate / 4);
            TSingleArray impulse(static_cast<size_t>(rate), 0.0f);
            impulse[at] = 1e9f;
            const TSingleArray out = Stream(chain, impulse);
            EXPECT_EQ(static_cast<double>(LoudestAt(out) - at), chain.Latency())
                << rate << " with " << name;
        }
    }
}

TEST(ProcessingChain, BadInputSamplesNeverReachTheOutput) {
    TProcessingChain chain;
    chain.Prepare(Duplex(48000), Parameters(true, true));
    TSingleArray signal = test::SpeechLike(4096 * 12, 48000);
    signal[5000] = std::numeric_limits<float>::quiet_NaN();
    signal[9000] = std::numeric_limits<float>::infinity();
    signal[9001] = -std::numeric_limits<float>::infinity();
    signal[20000] = 3e38f;
    const TSingleArray played = Stream(chain, signal);
    ASSERT_EQ(played.size(), signal.size());
    for (float x : played)
        ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= kOutputLimit);
    // The chain recovers: the last block carries the signal again.
    EXPECT_GT(FittedAmplitude(played, 430.0L / 48000.0L, played.size() - 4096, 4096), 1e7L);
}

// Without equalizer and at 12000 samples/s the chain is the DC blocker with the gains, so a
// published gain shows in the very next block and in no earlier one.
TEST(ProcessingChain, PublishedParametersApplyFromTheNextBlock) {
    TProcessingChain chain;
    TChainParameters p = Parameters(false, false);
    chain.Prepare(Duplex(12000), p);
    const TSingleArray tone = test::Sine(1024, 0.05L, 1e8L);
    TSingleArray out(1024);
    chain.Process(tone, out);
    const long double before = FittedAmplitude(out, 0.05L, 100, 900);
    p.OutputGainDb = 20.0f;
    p.SoftwareGain = 0.5f;
    chain.Publish(p);
    EXPECT_EQ(chain.Parameters().OutputGainDb, 0.0f);
    chain.Process(tone, out);
    EXPECT_NEAR(FittedAmplitude(out, 0.05L, 100, 900) / before, 5.0L, 1e-4L);
    // a generated input takes no software gain
    chain.Prepare({12000, 12000, false, false, 1024}, p);
    chain.Process(tone, out);
    EXPECT_NEAR(FittedAmplitude(out, 0.05L, 100, 900) / before, 10.0L, 1e-4L);
}

TEST(ProcessingChain, WrongLengthsAndRatesAreRejectedBeforeAnythingChanges) {
    TProcessingChain chain;
    chain.Prepare(Duplex(48000), Parameters(true, false));
    TSingleArray in(4095), out(4096);
    EXPECT_THROW(chain.Process(in, out), EAssertionFailed);
    in.resize(4096);
    out.resize(1024);
    EXPECT_THROW(chain.Process(in, out), EAssertionFailed);
    EXPECT_EQ(chain.Position(), 0);
    EXPECT_THROW(chain.Prepare(Duplex(44100), Parameters(true, false)), ERangeError);
}

// 0.999 (2^31 - 1) lies between the floats 2145336192 and 2145336320, nearer the first.
TEST(OutputLimiter, PassesSamplesUpToTheLimitClipsBeyondAndSilencesNonNumbers) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        TSingleArray In, Out;
        bool Lit; // the overload light
    } cases[] = {
        {{2145336192.0f, -2145336192.0f, 0.0f, 1e9f, -1.5f},
         {2145336192.0f, -2145336192.0f, 0.0f, 1e9f, -1.5f},
         false},
        {{2145336320.0f, 1.0f, -2145336320.0f, 3e38f},
         {2145336192.0f, 1.0f, -2145336192.0f, 2145336192.0f},
         true},
        {{5.0f, std::numeric_limits<float>::quiet_NaN(), -7.0f}, {5.0f, 0.0f, -7.0f}, true},
        {{inf}, {0.0f}, true},
        {{-inf}, {0.0f}, true},
    };
    for (auto c : cases) {
        EXPECT_EQ(LimitOutput(c.In), c.Lit) << c.Out[0];
        EXPECT_EQ(c.In, c.Out);
    }
}

TSingleArray Blocked(const TSingleArray& x) {
    TDcBlocker blocker;
    TSingleArray y;
    blocker.Process(x, y);
    return y;
}

// Steady-state gain at `hz` (12 kHz sampling), after ten time constants of settling.
long double GainDbAt(long double hz) {
    const long double f = hz / 12000;
    const size_t settle = 6000, measure = std::max<size_t>(24000, static_cast<size_t>(4 / f));
    const TSingleArray y = Blocked(Sine(settle + measure, f, 1e9L));
    return test::Db(test::FittedAmplitude(y, f, settle, measure) / 1e9L);
}

TEST(DcBlocker, IsAFirstOrderHighPassWithASixHundredSampleTimeConstant) {
    EXPECT_NEAR(GainDbAt(3.183L), -3.01L, 0.01L);
    EXPECT_NEAR(GainDbAt(100.0L), -0.0044L, 0.0005L);
    EXPECT_NEAR(GainDbAt(1000.0L), 0.0L, 0.001L);
    // half the sampling rate at unity gain (0.001 dB)
    const TSingleArray nyquist =
        Blocked(Sine(16384, 0.5L, 1e9L, std::numbers::pi_v<long double> / 2));
    for (size_t n = 12000; n < nyquist.size(); ++n)
        ASSERT_NEAR(std::fabs(nyquist[n]) / 1e9, 1.0, 1e-4) << n;
    // a step decays with e^(-n/600)
    const TSingleArray step = Blocked(TSingleArray(3000, 1e8f));
    EXPECT_NEAR(step[600] / step[0], std::exp(-1.0), 1e-4);
    EXPECT_NEAR(step[1800] / step[0], std::exp(-3.0), 1e-4);
}

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
