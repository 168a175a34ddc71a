#include "DspFixture.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"

#include "SND/Levels.h"
#include "engine/FileProcessor.h"
#include "engine/OutputLimiter.h"
#include "engine/WavSamples.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sonari {
namespace {

using test::FittedAmplitude;
using test::Sine;

// The session's block handler fed by hand, as the stream would, without devices.
class DspBlocks : public test::TDspFixture {
protected:
    DspBlocks() { MakeDsp().SetAnalysisOn(true); }

    // Plays `blocks` blocks of step 4 at 12000 samples/s.
    TSingleArray Play(int blocks, TDspMode mode = dmPlay) {
        return Feed(*Dsp, mode, TSingleArray(static_cast<size_t>(blocks) * 1024), 12000, 1);
    }
};

TEST_F(DspBlocks, GainAdjustmentRunsTheDisplaysButLeavesTheSignalAlone) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetClipperEnabled(true); });
    Feed(*Dsp, dmAdjustGain, test::SpeechLike(48000 * 3, 48000), 48000, 0);
    EXPECT_EQ(Dsp->BlockCount(), 35);
    const TDisplayAnalysis& analysis = Dsp->Analysis();
    ASSERT_FALSE(analysis.InSpectrum().SpectrumDb().empty());
    // Both analysers saw the same block: neither equalizer nor clipper touched it.
    EXPECT_EQ(analysis.InSpectrum().SpectrumDb(), analysis.OutSpectrum().SpectrumDb());
    EXPECT_GT(View.SpectrumReports, 0);
    EXPECT_GT(View.HistogramReports, 0);
    EXPECT_EQ(View.Figures.size(), 1u);
    EXPECT_EQ(View.Levels.size(), 7u); // blocks 0, 5, ... 30
}

TEST_F(DspBlocks, StatisticsCloseEveryTwentyFiveBlocksWithTheNoiseFigureOnlyWhileMixing) {
    test::WriteWav(UserFile("Qrm.wav"), 12000, {Sine(12000, 0.01L, 2e8L)}, 4);
    // QRN's peak is half its peak-to-peak value: 2e8 (-20.6 dBFS), not its largest sample
    TSingleArray qrn(12000, -1e8f);
    for (size_t n = 0; n < qrn.size(); n += 4)
        qrn[n] = 3e8f;
    test::WriteWav(UserFile("Qrn.wav"), 12000, {qrn}, 4);
    Dsp->LoadSoundFiles();
    Dsp->SetToneMode(1);
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    int blocks = 0; // QRN from block 25 on
    Feed(*Dsp, dmPlay, TSingleArray(50 * 1024), 12000, 1,
         [&] { Dsp->SetNoise(++blocks >= 25, true); });
    ASSERT_EQ(View.Figures.size(), 2u);
    EXPECT_FALSE(View.Figures[0].PepSnrDb.has_value());
    ASSERT_TRUE(View.Figures[1].PepSnrDb.has_value());
    // the signal's peak over QRN's, mixer at 10 dB
    EXPECT_NEAR(*View.Figures[1].PepSnrDb, 10 + View.Figures[1].PeakDbfs - Dbfs(2e8L), 0.01);
    EXPECT_NEAR(View.Figures[0].PeakDbfs, -6.03f, 0.01f);
    EXPECT_NEAR(View.Figures[0].RmsDbfs, View.Figures[0].PeakDbfs - 3.01f, 0.01f); // a sine
}

TEST_F(DspBlocks, VoicePlaysAsALoopOfWholeBlocksAndNothingElseAsSilence) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    // no whole block of voice, or an unknown tone mode
    for (auto [voiceLength, toneMode] : {std::pair{0, 0}, {1023, 0}, {4096, 3}, {4096, -1}}) {
        test::WriteWav(UserFile("Voice.wav"), 12000,
                       {TSingleArray(static_cast<size_t>(voiceLength), 1e9f)}, 4);
        Dsp->LoadVoice();
        Dsp->SetToneMode(toneMode);
        EXPECT_EQ(Play(1), TSingleArray(1024, 0.0f)) << voiceLength << " " << toneMode;
    }
    // Three blocks of a 1 kHz tone at 1, 2 and 3 x 1e8 and a tail at 9e8 that must never play.
    const TSingleArray tone = Sine(4 * 1024, 1000.0L / 12000.0L, 1.0L);
    TSingleArray voice(3 * 1024 + 500);
    for (size_t n = 0; n < voice.size(); ++n)
        voice[n] = tone[n] * (n < 3072 ? 1e8f * static_cast<float>(n / 1024 + 1) : 9e8f);
    test::WriteWav(UserFile("Voice.wav"), 12000, {voice}, 4);
    ASSERT_TRUE(Dsp->LoadVoice());
    Dsp->SetToneMode(0);
    const TSingleArray played = Play(8);
    for (size_t block = 0; block < 8; ++block) {
        const long double expected = 1e8L * (block % 3 + 1);
        EXPECT_NEAR(FittedAmplitude(played, 1000.0L / 12000.0L, block * 1024 + 100, 800) / expected,
                    1.0L, 0.01L)
            << block;
    }
}

TEST_F(DspBlocks, LimiterLightsTheOverloadOnlyWhenTheOutputClipsAndChannelTwoCopiesChannelOne) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    Dsp->SetToneMode(1); // -6 dBFS
    Dsp->SetMode(dmPlay);
    Dsp->PrepareRun(0, 24000);
    TDataBufferF in, out(3, TSingleArray(2048, 7.0f));
    Dsp->WdmData(in, out);
    Dsp->DeliverReports();
    EXPECT_EQ(View.Overloads, std::vector<bool>{false});
    EXPECT_EQ(out[1], out[0]);
    EXPECT_EQ(out[2], TSingleArray(2048, 7.0f)); // further channels are not written

    Dsp->SetPlaybackGainDb(20.0f); // applies at once in step 4
    Dsp->WdmData(in, out);
    Dsp->DeliverReports();
    EXPECT_EQ(View.Overloads.back(), true);
    EXPECT_EQ(*std::max_element(out[0].begin(), out[0].end()), kOutputLimit);
    EXPECT_EQ(*std::min_element(out[1].begin(), out[1].end()), -kOutputLimit);
    EXPECT_EQ(Dsp->OverloadCount(), 1);
    EXPECT_EQ(Dsp->InterpolatorGainDb(), 20.0f);
    Dsp->SetOutputGainDb(-10.0f); // not while playing
    EXPECT_EQ(Dsp->InterpolatorGainDb(), 20.0f);

    // Mode 5 limits twice: the device block, then the 12 kHz block for the file, to which the
    // playback gain does not apply; the light shows the second.
    View.Overloads.clear();
    Play(1, dmPlayToFile);
    EXPECT_EQ(View.Overloads, (std::vector<bool>{true, false}));
}

// The same chain, three ways: the live session over simulated devices, the file processor, and
// the chain fed directly. A 32-bit microphone speaks integers, so every path sees the same
// samples; the transmitter hears them rounded to integers again.
class DspDrivers : public test::TDspLoopFixture {
protected:
    static constexpr int32_t kRate = 48000;
    static constexpr size_t kFrames = 4096;

    DspDrivers()
        : TDspLoopFixture(TSimPlatform::scManual, kRate, test::SpeechLike(kFrames * 40, kRate)) {}
};

TEST_F(DspDrivers, LiveSessionFileProcessorAndChainGiveTheSameOutput) {
    const auto clipper = [](TMicEqualizer& eq) { eq.SetClipperEnabled(true); };
    Dsp->EditEqualizer(clipper);
    Dsp->SetLatencyMode(lmNormal);
    Dsp->SetMode(dmProcess);
    Dsp->StartDuplex();
    RunBlocks(36, kRate);
    Dsp->Stop();
    const TSingleArray direct = ExpectPlayedAsTheChain(1024, clipper, 0.5f, 30 * kFrames);

    // The file processor, at +-1.0 full scale both ways (exact powers of two), on a file that
    // ends inside a block: equal but for the last block, which it completes with silence.
    TSingleArray scaled(Signal.begin(), Signal.end() - 17);
    for (float& x : scaled)
        x *= kInverseFullScale;
    test::WriteWav(UserFile("in.wav"), kRate, {scaled}, 4, true);
    TFileProcessor processor(View);
    processor.Equalizer().SetParameters(Dsp->Equalizer().Parameters());
    TWavSampleReader reader(UserFile("in.wav"));
    TWavSampleWriter writer(UserFile("out.wav"), kRate, true);
    // the delay kept, as the transmitter gets it
    EXPECT_EQ(processor.Process(reader, writer, true).Frames, std::ssize(scaled));
    const TSingleArray processed = test::ReadWav(UserFile("out.wav")).Channels[0];
    ASSERT_EQ(processed.size(), scaled.size());
    for (size_t n = 0; n < processed.size() / kFrames * kFrames; ++n)
        ASSERT_EQ(processed[n] * kFullScale, direct[n]) << n;

    // A recording shorter than the chain's delay still comes out, aligned and as long.
    test::WriteWav(UserFile("brief.wav"), kRate, {{0.5f, -0.9f, 0.7f, -0.25f}}, 4, true);
    TWavSampleReader briefReader(UserFile("brief.wav"));
    TWavSampleWriter briefWriter(UserFile("briefOut.wav"), kRate, true);
    processor.Process(briefReader, briefWriter, false);
    const TSingleArray brief = test::ReadWav(UserFile("briefOut.wav")).Channels[0];
    ASSERT_EQ(brief.size(), 4u);
    EXPECT_GT(test::Peak(brief), 1e-3f); // silence would be 0
}

} // namespace
} // namespace sonari
