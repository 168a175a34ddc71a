#include "engine/ProcessingChain.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "engine/OutputLimiter.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace sonari {
namespace {

using test::FittedAmplitude;

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

} // namespace
} // namespace sonari
