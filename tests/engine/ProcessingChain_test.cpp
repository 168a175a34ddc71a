#include "engine/ProcessingChain.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "engine/OutputLimiter.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace sonari {
namespace {

using test::FittedAmplitude;

TChainParameters Parameters(bool equalizerOn, bool clipperOn, int32_t blockSize = 1024) {
    TMicEqualizer equalizer;
    equalizer.SetDataBlockSize(blockSize);
    equalizer.SetEqualizerEnabled(equalizerOn);
    equalizer.SetClipperEnabled(clipperOn);
    TChainParameters p;
    p.Equalizer = equalizer.Parameters();
    return p;
}

// Duplex at one rate: the microphone through the whole chain.
TChainLayout Duplex(int32_t rate, int32_t blockSize = 1024) {
    return {rate, rate, true, false, blockSize};
}

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

// The clipper at unit gain without gate is linear, so an impulse shows its path's delay too,
// with and without the overshoot control.
TChainParameters LinearClipper(bool overshootControl) {
    TMicEqualizer equalizer;
    equalizer.SetDataBlockSize(1024);
    equalizer.SetClipperEnabled(true);
    equalizer.SetClipThreshold(TMicEqualizer::kClipLevel);
    equalizer.SetGateThreshold(1e-20f);
    equalizer.SetOvershootControl(overshootControl);
    TChainParameters p;
    p.Equalizer = equalizer.Parameters();
    return p;
}

TEST(ProcessingChain, LatencyIsTheDelayOfAnImpulseAtEveryRate) {
    const std::vector<std::pair<const char*, TChainParameters>> setups = {
        {"equalizer", Parameters(true, false)},
        {"nothing", Parameters(false, false)},
        {"clipper", LinearClipper(false)},
        {"clipper and overshoot control", LinearClipper(true)}};
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

// The demo phrase (espeak-ng speech, 12000 samples/s) on the 32-bit scale, peaking at -3 dBFS,
// in whole blocks of 1024 samples.
TSingleArray Speech() {
    TSingleArray x =
        test::ReadWav((test::SourceDir() / "data/Wav/DemoVoice.wav").string()).Channels[0];
    x.resize((x.size() + 1023) / 1024 * 1024, 0.0f);
    const float gain = 0.7f * 2147483647.0f / test::Peak(x);
    for (float& v : x)
        v *= gain;
    return x;
}

// Squares summed in long double: the r.m.s. comparisons below reach far below float rounding.
long double SumOfSquares(const TSingleArray& x) {
    long double sum = 0;
    for (float v : x)
        sum += static_cast<long double>(v) * v;
    return sum;
}

// The dynamics take their envelope from an analytic signal made per block from a one-sided
// spectrum of 2M points, so shorter blocks cut its Hilbert part in other places. Behind the
// band-pass (as the program always runs them) the cut parts are negligible: on speech driven
// 37 dB into the compressor the short blocks' output stays within -100 dB of the peak of the
// whole blocks' output (measured: -108 dB), and within float rounding without the dynamics.
TEST(ProcessingChain, ShortBlocksKeepTheDynamicsResponseOnSpeech) {
    const TSingleArray speech = Speech();
    const auto parameters = [](int32_t blockSize, bool clipper) {
        TMicEqualizer equalizer;
        equalizer.SetDataBlockSize(blockSize);
        equalizer.SetClipperEnabled(clipper);
        equalizer.SetClipThreshold(static_cast<float>(DbfsToAmplitude(-40.0L)));
        TChainParameters p;
        p.Equalizer = equalizer.Parameters();
        return p;
    };
    const auto run = [&](int32_t blockSize, bool clipper) {
        TProcessingChain chain;
        chain.Prepare(Duplex(12000, blockSize), parameters(blockSize, clipper));
        return Stream(chain, speech);
    };
    const TSingleArray linear = run(1024, false);
    for (const bool clipper : {false, true}) {
        const TSingleArray reference = run(1024, clipper);
        const float peak = test::Peak(reference);
        for (int32_t blockSize : {128, 256}) {
            SCOPED_TRACE(::testing::Message()
                         << blockSize << (clipper ? " with" : " without") << " the dynamics");
            const TSingleArray out = run(blockSize, clipper);
            ASSERT_EQ(out.size(), reference.size());
            TSingleArray difference(out.size());
            for (size_t n = 0; n < out.size(); ++n)
                difference[n] = out[n] - reference[n];
            const double worstDb = 20 * std::log10(test::Peak(difference) / peak + 1e-30);
            const double rmsDb =
                10 *
                std::log10(static_cast<double>(SumOfSquares(difference) / SumOfSquares(reference)));
            EXPECT_LT(worstDb, clipper ? -100.0 : -120.0);
            EXPECT_LT(rmsDb, clipper ? -110.0 : -125.0);
        }
        if (clipper) {
            // the compressor did work: the output differs from the linear chain's by far more
            TSingleArray change(linear.size());
            for (size_t n = 0; n < change.size(); ++n)
                change[n] = reference[n] - linear[n] * (peak / test::Peak(linear));
            EXPECT_GT(SumOfSquares(change) / SumOfSquares(reference), 0.01L);
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

} // namespace
} // namespace sonari
