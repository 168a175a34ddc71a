#include "DspFixture.h"

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
#include <utility>
#include <vector>

namespace sonari {
namespace {

using test::FittedAmplitude;

// An equalizer on whole blocks with its stages as given. At unit gain without gate the clipper
// is linear, so an impulse shows its path's delay too.
TChainParameters Parameters(bool equalizerOn, bool clipperOn, bool linearClipper = false,
                            bool overshootControl = true) {
    return test::EqualizerParameters(1024, [&](TMicEqualizer& equalizer) {
        equalizer.SetEqualizerEnabled(equalizerOn);
        equalizer.SetClipperEnabled(clipperOn);
        if (linearClipper) {
            equalizer.SetClipThreshold(TMicEqualizer::kClipLevel);
            equalizer.SetGateThreshold(1e-20f);
        }
        equalizer.SetOvershootControl(overshootControl);
    });
}

// Duplex at one rate: the microphone through the whole chain.
TChainLayout Duplex(int32_t rate) { return {rate, rate, true, false, 1024}; }

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
            const TSingleArray out = test::ChainOutput(chain, impulse);
            const auto loudest = std::max_element(out.begin(), out.end(), [](float a, float b) {
                return std::fabs(a) < std::fabs(b);
            });
            EXPECT_EQ(static_cast<double>(loudest - out.begin()) - at, chain.Latency())
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
    const TSingleArray played = test::ChainOutput(chain, signal);
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

// Against the difference equation in long double, y[n] = (1 + a) / 2 (x[n] - x[n-1]) + a y[n-1]
// with a = e^(-1/600): -3 dB at 3.18 Hz, unity gain at half the rate, a step decays with
// e^(-n/600). Noise shows the gain near half the rate, a step the time constant; blocks of
// growing length show that the state carries over.
TEST(DcBlocker, IsAFirstOrderHighPassWithASixHundredSampleTimeConstant) {
    TSingleArray x = test::Noise(24000, 1e8f, 3);
    for (size_t n = 12000; n < x.size(); ++n)
        x[n] += 5e8f;
    TDcBlocker blocker;
    TSingleArray out, block;
    for (size_t first = 0, length = 1; first < x.size(); first += length, length = 3 * length + 1) {
        const auto from = x.begin() + static_cast<ptrdiff_t>(first);
        blocker.Process(TSingleArray(from, from + std::min(length, x.size() - first)), block);
        out.insert(out.end(), block.begin(), block.end());
    }
    ASSERT_EQ(out.size(), x.size());
    const long double a = std::exp(-1.0L / 600);
    long double y = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        y = (1 + a) / 2 * (x[n] - (n ? x[n - 1] : 0.0L)) + a * y;
        ASSERT_NEAR(out[n], y, 1e4L) << n;
    }
}

// The mix by its definition: weights from the amplitude ratio r = 10^(snr / 20), k / (1 - k) = r,
// and the noise looped over its whole 1024-sample blocks from the block's position on (its tail
// never plays; less than one block is silence), for blocks of any length.
TEST(NoiseMixer, MixesWeightedNoiseLoopedOverItsWholeBlocks) {
    for (float snr : {-30.0f, 0.0f, 20.0f, 50.0f}) {
        const float k = SignalWeight(snr);
        EXPECT_NEAR(k / (1.0f - k) / std::pow(10.0f, snr / 20), 1.0f, 1e-4f) << snr;
    }
    const TSingleArray signal = test::Noise(1024, 1e8f, 1), noise = test::Noise(10000, 1e8f, 2);
    for (const TSingleArray& loop : {noise, TSingleArray(noise.begin(), noise.begin() + 1023)}) {
        const size_t whole = loop.size() / 1024 * 1024;
        for (size_t length : {size_t{1024}, size_t{256}}) {
            for (int64_t position = 0; position < 20 * 1024; position += int64_t(length)) {
                TSingleArray mixed(length);
                MixNoise(TSingleArray(signal.begin(), signal.begin() + ptrdiff_t(length)), loop,
                         position, 0.25f, mixed);
                for (size_t i = 0; i < length; ++i) {
                    const float n = whole ? loop[(size_t(position) + i) % whole] : 0.0f;
                    ASSERT_NEAR(mixed[i], 0.25f * signal[i] + 0.75f * n, 64.0f)
                        << position << " " << i << " " << loop.size();
                }
            }
        }
    }
}

// Whole periods per block (the next block follows without a step): all the energy in the tones'
// own bins, none beside them; the single tone at half of 0.999 of full scale, each of the pair at
// a quarter, so both peak alike.
TEST(TestTones, HoldWholePeriodsPerBlockWithEqualPeaks) {
    const TTestTones tones;
    EXPECT_EQ(tones.Block(0), nullptr);
    const long double full = 0.999L * 2147483647;
    const struct {
        int mode;
        std::vector<int> bins;
        long double amplitude;
    } cases[] = {{1, {17}, full / 2}, {2, {15, 19}, full / 4}};
    for (const auto& c : cases) {
        const TSingleArray& x = *tones.Block(c.mode);
        for (int bin = 0; bin < 64; ++bin) {
            const long double level = 2 * test::DftMagnitude(x, bin / 1024.0L) / x.size();
            const bool tone = std::find(c.bins.begin(), c.bins.end(), bin) != c.bins.end();
            EXPECT_NEAR(level, tone ? c.amplitude : 0, 1e-6 * c.amplitude)
                << "mode " << c.mode << ", bin " << bin;
        }
    }
}

} // namespace
} // namespace sonari
