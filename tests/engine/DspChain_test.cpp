#include "DspFixture.h"
#include "tests/support/Signals.h"

#include "SND/Exceptions.h"
#include "engine/OutputLimiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace sonari {
namespace {

using test::FittedAmplitude;
using test::Sine;
using test::TDspFixture;

// A speech-like test signal at `rate`: two tones whose level swells and fades, with noise.
TSingleArray TestSignal(size_t frames, int32_t rate, uint32_t seed = 7) {
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 2e7f);
    TSingleArray x(frames);
    for (size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 1.3 * t);
        x[n] = static_cast<float>(swell * (6e8 * std::sin(2 * M_PI * 430 * t) +
                                           3e8 * std::sin(2 * M_PI * 1270 * t))) +
               noise(random);
    }
    return x;
}

// The engine without devices, fed block by block as the stream would.
class DspChain : public TDspFixture {
protected:
    DspChain() { MakeDsp(); }

    // Runs the signal through WdmData; returns channel 0 of every output block, joined.
    TSingleArray Feed(TDsp& dsp, const TSingleArray& signal, int32_t rate, size_t outChannels) {
        const size_t frames = static_cast<size_t>(1024 * (rate / 12000));
        TDataBufferF in(2, TSingleArray(frames));
        TDataBufferF out(outChannels, TSingleArray(frames));
        TSingleArray played;
        for (size_t first = 0; first + frames <= signal.size(); first += frames) {
            std::copy_n(signal.begin() + static_cast<ptrdiff_t>(first), frames, in[0].begin());
            dsp.WdmData(in, out);
            if (!out.empty())
                played.insert(played.end(), out[0].begin(), out[0].end());
        }
        return played;
    }
};

TEST_F(DspChain, GainAdjustmentRunsTheDisplaysButLeavesTheSignalAlone) {
    View.EqualizerOn = true;
    View.ClipperOn = true;
    Dsp->Mode = dmAdjustGain;
    Dsp->PrepareInput(48000);
    Feed(*Dsp, TestSignal(48000 * 3, 48000), 48000, 0);
    EXPECT_EQ(Dsp->BlockCount, 35);
    ASSERT_FALSE(Dsp->InSpectrum.SpectrumDb().empty());
    // Both analysers saw the same block: neither equalizer nor clipper touched it.
    EXPECT_EQ(Dsp->InSpectrum.SpectrumDb(), Dsp->OutSpectrum.SpectrumDb());
    EXPECT_GT(View.EqualizerInvalidations, 0);
    EXPECT_GT(View.DynamicsInvalidations, 0);
    EXPECT_EQ(View.Figures.size(), 1u);
    EXPECT_EQ(View.Bars.size(), 7u); // blocks 0, 5, ... 30
}

TEST_F(DspChain, HiddenWindowProcessesExactlyAsShown) {
    View.ClipperOn = true;
    const TSingleArray signal = TestSignal(48000 * 4, 48000);
    Dsp->Mode = dmProcess;
    Dsp->PrepareDuplex(48000, 48000);
    const TSingleArray shown = Feed(*Dsp, signal, 48000, 2);
    EXPECT_EQ(View.Figures.size(), 1u);

    test::TFakeDspView hiddenView;
    hiddenView.ClipperOn = true;
    hiddenView.Visible = false;
    TDsp hidden(*Audio, Sync, hiddenView, Selection, Folders);
    hidden.Mode = dmProcess;
    hidden.PrepareDuplex(48000, 48000);
    const TSingleArray played = Feed(hidden, signal, 48000, 2);

    ASSERT_EQ(played.size(), shown.size());
    for (size_t n = 0; n < played.size(); ++n)
        ASSERT_EQ(played[n], shown[n]) << n;
    EXPECT_TRUE(hiddenView.Figures.empty());
    EXPECT_EQ(hiddenView.EqualizerInvalidations + hiddenView.DynamicsInvalidations, 0);
}

TEST_F(DspChain, StatisticsCloseEveryTwentyFiveBlocksWithTheNoiseFigureOnlyWhileMixing) {
    Dsp->Qrn = TestSignal(12000, 12000, 3);
    Dsp->NoisePeak[1] = 1e8f;
    Dsp->Mode = dmPlay;
    Dsp->ToneMode = 1;
    View.EqualizerOn = false;
    Dsp->PrepareOutput(12000);
    TDataBufferF in, out(1, TSingleArray(1024));
    for (int i = 0; i < 50; ++i) {
        View.NoiseOn = i >= 25;
        Dsp->WdmData(in, out);
    }
    ASSERT_EQ(View.Figures.size(), 2u);
    EXPECT_FALSE(View.Figures[0].PepSnr.has_value());
    ASSERT_TRUE(View.Figures[1].PepSnr.has_value());
    // signal peak -6 dBFS, noise peak 1e8 (-26.6 dBFS), mixer at 10 dB
    EXPECT_EQ(*View.Figures[1].PepSnr, 31);
    EXPECT_EQ(View.Figures[0].Peak, -6);
}

TEST_F(DspChain, VoicePlaysAsALoopOfWholeBlocks) {
    // Three blocks of a 1 kHz tone at 1, 2 and 3 x 1e8 and a tail at 9e8 that must never play.
    const TSingleArray tone = Sine(4 * 1024, 1000.0L / 12000.0L, 1.0L);
    Dsp->Voice.resize(3 * 1024 + 500);
    for (size_t n = 0; n < Dsp->Voice.size(); ++n)
        Dsp->Voice[n] = tone[n] * (n < 3072 ? 1e8f * static_cast<float>(n / 1024 + 1) : 9e8f);
    View.EqualizerOn = false;
    Dsp->Mode = dmPlay;
    Dsp->PrepareOutput(12000);
    TDataBufferF in, out(1, TSingleArray(1024));
    for (int block = 0; block < 8; ++block) {
        Dsp->WdmData(in, out);
        const long double expected = 1e8L * (block % 3 + 1);
        EXPECT_NEAR(FittedAmplitude(out[0], 1000.0L / 12000.0L, 100, 900) / expected, 1.0L, 0.01L)
            << block;
    }
}

TEST_F(DspChain, NoWholeBlockOfVoiceOrAnUnknownToneModePlaysSilence) {
    View.EqualizerOn = false;
    Dsp->Mode = dmPlay;
    TDataBufferF in, out(1, TSingleArray(1024, 5.0f));
    for (auto [voiceLength, toneMode] : {std::pair{0, 0}, {1023, 0}, {4096, 3}, {4096, -1}}) {
        Dsp->Voice.assign(static_cast<size_t>(voiceLength), 1e9f);
        Dsp->ToneMode = toneMode;
        Dsp->PrepareOutput(12000);
        Dsp->WdmData(in, out);
        EXPECT_EQ(out[0], TSingleArray(1024, 0.0f)) << voiceLength << " " << toneMode;
    }
}

TEST_F(DspChain, LimiterLightsTheOverloadOnlyWhenTheOutputClipsAndChannelTwoCopiesChannelOne) {
    View.EqualizerOn = false;
    Dsp->Mode = dmPlay;
    Dsp->ToneMode = 1; // -6 dBFS
    Dsp->PrepareOutput(24000);
    TDataBufferF in, out(3, TSingleArray(2048, 7.0f));
    Dsp->WdmData(in, out);
    EXPECT_EQ(View.Overloads, std::vector<bool>{false});
    EXPECT_EQ(out[1], out[0]);
    EXPECT_EQ(out[2], TSingleArray(2048, 7.0f)); // further channels are not written

    View.Volume = 1.0f; // +20 dB
    Dsp->PrepareOutput(24000);
    Dsp->WdmData(in, out);
    EXPECT_EQ(View.Overloads.back(), true);
    EXPECT_EQ(*std::max_element(out[0].begin(), out[0].end()), kOutputLimit);
    EXPECT_EQ(*std::min_element(out[1].begin(), out[1].end()), -kOutputLimit);
    EXPECT_EQ(Dsp->OverloadCount, 1);
}

TEST_F(DspChain, BadInputSamplesNeverReachTheOutput) {
    View.ClipperOn = true;
    Dsp->Mode = dmProcess;
    Dsp->PrepareDuplex(48000, 48000);
    TSingleArray signal = TestSignal(4096 * 12, 48000);
    signal[5000] = std::numeric_limits<float>::quiet_NaN();
    signal[9000] = std::numeric_limits<float>::infinity();
    signal[9001] = -std::numeric_limits<float>::infinity();
    signal[20000] = 3e38f;
    const TSingleArray played = Feed(*Dsp, signal, 48000, 2);
    ASSERT_EQ(played.size(), signal.size());
    for (float x : played)
        ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= kOutputLimit);
    // The chain recovers: the last block carries the signal again.
    EXPECT_GT(FittedAmplitude(played, 430.0L / 48000.0L, played.size() - 4096, 4096), 1e7L);
}

TEST_F(DspChain, SoftwareGainScalesTheInputBeforeTheMeter) {
    Dsp->Mode = dmAdjustGain;
    Dsp->PrepareInput(12000);
    TDataBufferF in(1, Sine(1024, 0.05L, 1e8L)), out;
    View.SoftGainOn = true;
    View.SoftGainDb = 20;
    Dsp->WdmData(in, out);
    ASSERT_EQ(View.Bars.size(), 1u);
    const TInputBar expected = InputBarGeometry(-1e9f, 1e9f, View.BarWidth);
    EXPECT_EQ(View.Bars[0].Width, expected.Width);
    EXPECT_EQ(View.Bars[0].Left, expected.Left);
}

TEST_F(DspChain, WrongBlocksAreRejectedBeforeAnythingChanges) {
    Dsp->Mode = dmProcess;
    Dsp->PrepareDuplex(48000, 48000);
    TDataBufferF in(1, TSingleArray(4095)), out(2, TSingleArray(4096));
    EXPECT_THROW(Dsp->WdmData(in, out), EAssertionFailed);
    in[0].resize(4096);
    out[1].resize(1024);
    EXPECT_THROW(Dsp->WdmData(in, out), EAssertionFailed);
    TDataBufferF none;
    EXPECT_THROW(Dsp->WdmData(in, none), EAssertionFailed);
    Dsp->Mode = dmStop;
    out[1].resize(4096);
    EXPECT_THROW(Dsp->WdmData(in, out), EAssertionFailed);
    EXPECT_EQ(Dsp->BlockCount, 0);
}

TEST_F(DspChain, OutputFileCopyIsLimitedToo) {
    // Mode 5 limits twice: the device block, then the 12 kHz block for the file; the light
    // shows the second.
    View.EqualizerOn = false;
    View.Volume = 1.0f; // +20 dB applies to the device block only
    Dsp->Mode = dmPlayToFile;
    Dsp->ToneMode = 1;
    Dsp->PrepareOutput(12000);
    Dsp->Wav.SetFileName((Dir / "out.wav").string());
    Dsp->Wav.SetSamplesPerSec(12000);
    Dsp->Wav.OpenWrite();
    TDataBufferF in, out(1, TSingleArray(1024));
    Dsp->WdmData(in, out);
    EXPECT_EQ(View.Overloads, (std::vector<bool>{true, false}));
}

} // namespace
} // namespace sonari
