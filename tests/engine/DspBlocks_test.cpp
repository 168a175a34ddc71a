#include "DspFixture.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "engine/FileProcessor.h"
#include "engine/OutputLimiter.h"
#include "engine/SoundFiles.h"
#include "engine/WavSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace sonari {
namespace {

using test::FittedAmplitude;
using test::Sine;
using test::TDspFixture;

// The session's block handler fed by hand, as the stream would, without devices.
class DspBlocks : public TDspFixture {
protected:
    DspBlocks() { MakeDsp().SetAnalysisOn(true); }

    // Runs `signal` through WdmData in `mode`; returns channel 0 of every output block.
    TSingleArray Feed(TDsp& dsp, TDspMode mode, const TSingleArray& signal, int32_t rate,
                      size_t outChannels) {
        dsp.SetMode(mode);
        dsp.PrepareRun(rate, rate);
        const auto frames = static_cast<size_t>(IsLiveMode(mode) ? dsp.Chain().InputFrames()
                                                                 : dsp.Chain().OutputFrames());
        TDataBufferF in(2, TSingleArray(frames));
        TDataBufferF out(outChannels, TSingleArray(frames));
        TSingleArray played;
        for (size_t first = 0; first + frames <= signal.size(); first += frames) {
            std::copy_n(signal.begin() + static_cast<ptrdiff_t>(first), frames, in[0].begin());
            dsp.WdmData(in, out);
            dsp.DeliverReports();
            if (!out.empty())
                played.insert(played.end(), out[0].begin(), out[0].end());
        }
        return played;
    }

    // Plays `blocks` blocks of step 4 at 12000 samples/s.
    TSingleArray Play(int blocks, TDspMode mode = dmPlay) {
        return Feed(*Dsp, mode, TSingleArray(static_cast<size_t>(blocks) * 1024), 12000, 1);
    }

    void WriteSoundFile(const char* name, const TSingleArray& samples) {
        std::filesystem::create_directories(Folders.UserWavDir);
        test::WriteWav(Folders.UserWavDir + name, 12000, {samples}, 4);
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

TEST_F(DspBlocks, HiddenWindowProcessesExactlyAsShown) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetClipperEnabled(true); });
    const TSingleArray signal = test::SpeechLike(48000 * 4, 48000);
    const TSingleArray shown = Feed(*Dsp, dmProcess, signal, 48000, 2);
    EXPECT_EQ(View.Figures.size(), 1u);

    test::TFakeDspView hiddenView;
    TDsp hidden(*Audio, Sync, hiddenView, Selection, Folders);
    hidden.EditEqualizer([](TMicEqualizer& eq) { eq.SetClipperEnabled(true); });
    hidden.SetAnalysisOn(false);
    const TSingleArray played = Feed(hidden, dmProcess, signal, 48000, 2);
    EXPECT_EQ(played, shown);
    EXPECT_TRUE(hiddenView.Figures.empty());
    EXPECT_EQ(hiddenView.SpectrumReports + hiddenView.HistogramReports, 0);
}

TEST_F(DspBlocks, StatisticsCloseEveryTwentyFiveBlocksWithTheNoiseFigureOnlyWhileMixing) {
    WriteSoundFile("Qrm.wav", Sine(12000, 0.01L, 2e8L));
    WriteSoundFile("Qrn.wav", Sine(12000, 0.25L, 1e8L)); // peaks of exactly 1e8
    Dsp->LoadSoundFiles();
    Dsp->SetToneMode(1);
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    Dsp->SetMode(dmPlay);
    Dsp->PrepareRun(0, 12000);
    TDataBufferF in, out(1, TSingleArray(1024));
    for (int i = 0; i < 50; ++i) {
        Dsp->SetNoise(i >= 25, true);
        Dsp->WdmData(in, out);
        Dsp->DeliverReports();
    }
    ASSERT_EQ(View.Figures.size(), 2u);
    EXPECT_FALSE(View.Figures[0].PepSnrDb.has_value());
    ASSERT_TRUE(View.Figures[1].PepSnrDb.has_value());
    // the signal's peak over QRN's (1e8, -26.6 dBFS), mixer at 10 dB
    EXPECT_NEAR(*View.Figures[1].PepSnrDb, 10 + View.Figures[1].PeakDbfs - Dbfs(1e8L), 0.01);
    EXPECT_NEAR(View.Figures[0].PeakDbfs, -6.03f, 0.01f);
}

TEST_F(DspBlocks, VoicePlaysAsALoopOfWholeBlocks) {
    // Three blocks of a 1 kHz tone at 1, 2 and 3 x 1e8 and a tail at 9e8 that must never play.
    const TSingleArray tone = Sine(4 * 1024, 1000.0L / 12000.0L, 1.0L);
    TSingleArray voice(3 * 1024 + 500);
    for (size_t n = 0; n < voice.size(); ++n)
        voice[n] = tone[n] * (n < 3072 ? 1e8f * static_cast<float>(n / 1024 + 1) : 9e8f);
    WriteSoundFile("Voice.wav", voice);
    ASSERT_TRUE(Dsp->LoadVoice());
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    const TSingleArray played = Play(8);
    for (size_t block = 0; block < 8; ++block) {
        const long double expected = 1e8L * (block % 3 + 1);
        EXPECT_NEAR(FittedAmplitude(played, 1000.0L / 12000.0L, block * 1024 + 100, 800) / expected,
                    1.0L, 0.01L)
            << block;
    }
}

TEST_F(DspBlocks, NoWholeBlockOfVoiceOrAnUnknownToneModePlaysSilence) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    for (auto [voiceLength, toneMode] : {std::pair{0, 0}, {1023, 0}, {4096, 3}, {4096, -1}}) {
        WriteSoundFile("Voice.wav", TSingleArray(static_cast<size_t>(voiceLength), 1e9f));
        Dsp->LoadVoice();
        Dsp->SetToneMode(toneMode);
        EXPECT_EQ(Play(1), TSingleArray(1024, 0.0f)) << voiceLength << " " << toneMode;
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
}

TEST_F(DspBlocks, OutputFileCopyIsLimitedToo) {
    // Mode 5 limits twice: the device block, then the 12 kHz block for the file; the light
    // shows the second.
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    Dsp->SetPlaybackGainDb(20.0f); // applies to the device block only
    Dsp->SetToneMode(1);
    Dsp->SetMode(dmPlayToFile);
    Dsp->PrepareRun(0, 12000);
    Play(1, dmPlayToFile);
    EXPECT_EQ(View.Overloads, (std::vector<bool>{true, false}));
}

// The same chain, three ways: the live session over simulated devices, the file processor, and
// the chain fed directly. A 32-bit microphone speaks integers, so every path sees the same
// samples; the transmitter hears them rounded to integers again.
class DspDrivers : public TDspFixture {
protected:
    static constexpr int32_t kRate = 48000;
    static constexpr size_t kFrames = 4096;

    DspDrivers() {
        signal_ = test::SpeechLike(kFrames * 40, kRate);
        for (float& x : signal_)
            x = std::nearbyint(x);
        TSimPin mic = SimPin(false, 1, 32, 32, kRate, kRate);
        mic.Source = [this](int64_t first, int32_t, TDataBufferF& block) {
            for (size_t f = 0; f < block[0].size(); ++f) {
                const auto n = static_cast<size_t>(first) + f;
                block[0][f] = n < signal_.size() ? signal_[n] : 0.0f;
            }
        };
        TSimPin speaker = SimPin(true, 1, 32, 32, kRate, kRate);
        speaker.Sink = [this](int64_t, int32_t, const TDataBufferF& block) {
            played_.insert(played_.end(), block[0].begin(), block[0].end());
        };
        WithDevices({mic}, {speaker});
    }

    TSingleArray signal_, played_;
};

TEST_F(DspDrivers, LiveSessionFileProcessorAndChainGiveTheSameOutput) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetClipperEnabled(true); });
    Dsp->SetLatencyMode(lmNormal);
    Dsp->SetMode(dmProcess);
    Dsp->StartDuplex();
    RunBlocks(36, kRate);
    Dsp->Stop();

    TProcessingChain chain;
    TChainParameters parameters;
    parameters.Equalizer = Dsp->Equalizer().Parameters();
    chain.Prepare({kRate, kRate, true, false, 1024}, parameters);
    TSingleArray in(kFrames), out(kFrames), direct;
    for (size_t first = 0; first < signal_.size(); first += kFrames) {
        std::copy_n(signal_.begin() + static_cast<ptrdiff_t>(first), kFrames, in.begin());
        chain.Process(in, out);
        direct.insert(direct.end(), out.begin(), out.end());
    }

    // The transmitter starts with the buffers queued before the first block: find the first.
    const auto firstSound = [](const TSingleArray& x) {
        return static_cast<size_t>(
            std::find_if(x.begin(), x.end(), [](float v) { return v != 0.0f; }) - x.begin());
    };
    const size_t lead = (firstSound(played_) - firstSound(direct)) / kFrames * kFrames;
    ASSERT_GT(played_.size(), lead + 30 * kFrames);
    for (size_t n = 0; n < 30 * kFrames; ++n)
        ASSERT_NEAR(played_[lead + n], std::nearbyint(direct[n]), 0.5f) << n;

    // The file processor, at +-1.0 full scale both ways (exact powers of two).
    TSingleArray scaled = signal_;
    for (float& x : scaled)
        x *= kInverseFullScale;
    std::filesystem::create_directories(Folders.UserWavDir);
    test::WriteWav(Folders.UserWavDir + "in.wav", kRate, {scaled}, 4, true);
    TFileProcessor processor(View);
    processor.Equalizer().SetParameters(Dsp->Equalizer().Parameters());
    TWavSampleReader reader(Folders.UserWavDir + "in.wav");
    TWavSampleWriter writer(Folders.UserWavDir + "out.wav", kRate, true);
    processor.Process(reader, writer, true); // the delay kept, as the transmitter gets it
    const TSingleArray file = test::ReadWav(Folders.UserWavDir + "out.wav").Channels[0];
    ASSERT_EQ(file.size(), direct.size());
    for (size_t n = 0; n < file.size(); ++n)
        ASSERT_EQ(file[n] * kFullScale, direct[n]) << n;
}

} // namespace
} // namespace sonari
