#include "DspFixture.h"

#include "SND/WDM/WdmErrors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>

namespace sonari {
namespace {

using test::TDspFixture;

TSimPinSpec Capture(int32_t minRate, int32_t maxRate, int32_t channels = 2) {
    return SimPin(false, channels, 16, 24, minRate, maxRate);
}
TSimPinSpec Render(int32_t minRate, int32_t maxRate, int32_t channels = 2) {
    return SimPin(true, channels, 16, 16, minRate, maxRate);
}
// A pin whose driver refuses every format.
TSimPinSpec Refusing(TSimPinSpec pin) {
    pin.IntersectionError = EINVAL;
    return pin;
}

class DspStart : public TDspFixture {
protected:
    // Device 0 captures, device 1 renders.
    TDsp& WithDevices(TSimPinSpec capture, TSimPinSpec render) {
        Sim.AddDevice(SimDevice("Mic", {std::move(capture)}));
        Sim.AddDevice(SimDevice("Speaker", {std::move(render)}));
        Selection = {0, 1};
        return MakeDsp();
    }
    TDsp& WithDevices(std::vector<TSimPinSpec> capture, TSimPinSpec render) {
        Sim.AddDevice(SimDevice("Mic", std::move(capture)));
        Sim.AddDevice(SimDevice("Speaker", {std::move(render)}));
        Selection = {0, 1};
        return MakeDsp();
    }
};

TEST_F(DspStart, CaptureAt44100GetsTheNextRateAbove) {
    TDsp& dsp = WithDevices(Capture(44100, 96000), Render(8000, 48000));
    dsp.StartInput();
    EXPECT_TRUE(dsp.Wdm.Running());
    EXPECT_EQ(dsp.Wdm.Directions(), ddCapture);
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplingRate, 48000);
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplesPerBuf, 4096);
    EXPECT_EQ(dsp.Wdm.InputDevice().BitsPerSample, 24);
    EXPECT_EQ(dsp.OctaveResampler1.Ratio(), 4);
    EXPECT_EQ(dsp.OctaveResampler1.BigBlockSize(), 4096);
    EXPECT_TRUE(dsp.Equalizer.AnalysisOn);
    EXPECT_FALSE(dsp.Equalizer.EqualizerEnabled);
    EXPECT_FALSE(dsp.Equalizer.ClipperEnabled);
    dsp.Stop();
    EXPECT_FALSE(dsp.Wdm.Running());
}

TEST_F(DspStart, CaptureFrom8000RunsAtTheProcessingRateWithoutDecimation) {
    TDsp& dsp = WithDevices(Capture(8000, 48000), Render(8000, 48000));
    dsp.StartInput();
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplingRate, 12000);
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplesPerBuf, 1024);
    EXPECT_EQ(dsp.OctaveResampler1.Factor(), rf01x);
}

TEST_F(DspStart, RefusedRateIsRetriedAtTwiceTheRate) {
    // Nothing at 48000: one pin takes only 44100, another only 96000.
    TDsp& dsp = WithDevices({Capture(44100, 44100), Capture(96000, 96000)}, Render(8000, 48000));
    dsp.StartInput();
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplingRate, 96000);
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplesPerBuf, 8192);
    EXPECT_EQ(dsp.OctaveResampler1.Ratio(), 8);
}

TEST_F(DspStart, RefusalAtTheHighestRateReachesTheCaller) {
    TDsp& dsp = WithDevices(Refusing(Capture(44100, 48000)), Render(8000, 48000));
    try {
        dsp.StartInput();
        FAIL() << "the start succeeded";
    } catch (const EWdmAudioError& e) {
        EXPECT_EQ(e.Code, wdmInputFormatFailed);
    }
    EXPECT_FALSE(dsp.Wdm.Running());
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplingRate, 48000); // tried once, never above MaxRate
}

TEST_F(DspStart, RenderGetsThePlaybackVolumeAndTheCheckBoxes) {
    TDsp& dsp = WithDevices(Capture(8000, 48000), Render(44100, 48000));
    View.Volume = 1.0f; // +20 dB
    View.EqualizerOn = false;
    View.ClipperOn = true;
    dsp.StartOutput();
    EXPECT_EQ(dsp.Wdm.Directions(), ddRender);
    EXPECT_EQ(dsp.Wdm.OutputDevice().SamplingRate, 48000);
    EXPECT_EQ(dsp.OctaveResampler2.Ratio(), 4);
    EXPECT_FLOAT_EQ(dsp.OctaveResampler2.GainDb(), 20.0f);
    EXPECT_TRUE(dsp.Equalizer.AnalysisOn);
    EXPECT_FALSE(dsp.Equalizer.EqualizerEnabled);
    EXPECT_TRUE(dsp.Equalizer.ClipperEnabled);
}

TEST_F(DspStart, DuplexTakesOneRateForBothRanges) {
    TDsp& dsp = WithDevices(Capture(8000, 48000), Render(44100, 96000));
    View.Gain = 0.5f; // -40 dB
    View.Visible = false;
    dsp.StartDuplex();
    EXPECT_EQ(dsp.Wdm.Directions(), ddBoth);
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplingRate, 48000);
    EXPECT_EQ(dsp.Wdm.OutputDevice().SamplingRate, 48000);
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplesPerBuf, 4096);
    EXPECT_EQ(dsp.Wdm.OutputDevice().SamplesPerBuf, 4096);
    EXPECT_EQ(dsp.OctaveResampler1.Ratio(), 4);
    EXPECT_EQ(dsp.OctaveResampler2.Ratio(), 4);
    EXPECT_FLOAT_EQ(dsp.OctaveResampler2.GainDb(), -40.0f);
    EXPECT_FALSE(dsp.Equalizer.AnalysisOn); // hidden window: no displays
}

TEST_F(DspStart, DuplexRetriesUpToTheLowerOfTheHighestRates) {
    TDsp& dsp = WithDevices({Capture(44100, 44100), Capture(96000, 96000)}, Render(8000, 192000));
    dsp.StartDuplex();
    EXPECT_EQ(dsp.Wdm.InputDevice().SamplingRate, 96000);
    EXPECT_EQ(dsp.Wdm.OutputDevice().SamplingRate, 96000);
    EXPECT_EQ(dsp.Wdm.OutputDevice().SamplesPerBuf, 8192);
}

TEST_F(DspStart, DuplexRefusalPastTheLowerHighestRateReachesTheCaller) {
    TDsp& dsp = WithDevices(Capture(8000, 192000), Refusing(Render(44100, 48000)));
    EXPECT_THROW(dsp.StartDuplex(), EWdmAudioError);
    EXPECT_FALSE(dsp.Wdm.Running());
    EXPECT_EQ(dsp.Wdm.OutputDevice().SamplingRate, 48000);
}

TEST_F(DspStart, RenderChannelsAreAtMostTwo) {
    for (int32_t channels : {1, 2, 6}) {
        Sim.AddDevice(SimDevice("Out" + std::to_string(channels), {Render(8000, 48000, channels)}));
    }
    Sim.AddDevice(SimDevice("Mic", {Capture(8000, 48000)}));
    MakeDsp();
    const int32_t expected[] = {1, 2, 2};
    for (int32_t device = 0; device < 3; ++device) {
        Selection.OutputDeviceIndex = device;
        Dsp->StartOutput();
        EXPECT_EQ(Dsp->Wdm.OutputDevice().Channels, expected[device]) << device;
        Dsp->Stop();
    }
}

TEST_F(DspStart, StereoDeviceGetsTheSameSamplesInBothChannels) {
    std::mutex mutex;
    std::vector<TDataBufferF> played;
    TSimPinSpec render = Render(8000, 48000);
    render.Sink = [&](int64_t, int32_t, const TDataBufferF& block) {
        std::lock_guard lock(mutex);
        played.push_back(block);
    };
    TDsp& dsp = WithDevices(Capture(8000, 48000), render);
    View.EqualizerOn = false; // the 199 Hz tone lies below the band-pass
    dsp.Mode = dmPlay;
    dsp.ToneMode = 1;
    dsp.StartOutput();
    RunBlocks(6, 12000);
    dsp.Stop();
    EXPECT_TRUE(View.Errors.empty());
    std::lock_guard lock(mutex);
    ASSERT_GE(played.size(), 3u);
    const TDataBufferF& last = played.back();
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0], last[1]);
    EXPECT_GT(*std::max_element(last[0].begin(), last[0].end()), 5e8f); // the tone, not silence
}

TEST_F(DspStart, InvalidOrUnsuitableDevicesAreClearErrors) {
    TDsp& dsp = WithDevices(Capture(8000, 48000), Render(8000, 48000));
    EXPECT_TRUE(dsp.DevicesValid());
    Selection.InputDeviceIndex = 2;
    EXPECT_FALSE(dsp.DevicesValid());
    try {
        dsp.StartInput();
        FAIL();
    } catch (const EWdmAudioError& e) {
        EXPECT_EQ(e.Code, wdmInvalidDevice);
    }
    Selection = {1, 0}; // the speaker cannot capture, the microphone cannot play
    EXPECT_TRUE(dsp.DevicesValid());
    try {
        dsp.StartInput();
        FAIL();
    } catch (const EWdmAudioError& e) {
        EXPECT_EQ(e.Code, wdmNoInputPin);
    }
    try {
        dsp.StartOutput();
        FAIL();
    } catch (const EWdmAudioError& e) {
        EXPECT_EQ(e.Code, wdmNoOutputPin);
    }
    Selection.OutputDeviceIndex = -1;
    EXPECT_FALSE(dsp.DevicesValid());
}

TEST_F(DspStart, StopNeverRaisesAndForgetsTheSpectra) {
    TDsp& dsp = WithDevices(Capture(8000, 48000), Render(8000, 48000));
    dsp.Mode = dmAdjustGain;
    dsp.StartInput();
    RunBlocks(3, 12000);
    EXPECT_GT(dsp.InSpectrum.Count(), 0);
    dsp.Stop();
    dsp.Stop();
    EXPECT_EQ(dsp.InSpectrum.Count(), 0);
    EXPECT_EQ(dsp.OutSpectrum.Count(), 0);
    EXPECT_EQ(dsp.Mode, dmAdjustGain);
}

} // namespace
} // namespace sonari
