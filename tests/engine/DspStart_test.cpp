#include "DspFixture.h"

#include "SND/WDM/DeviceChoice.h"
#include "SND/WDM/WdmErrors.h"
#include "engine/LiveRun.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

using DspStart = test::TDspFixture;

TSimPin Capture(int32_t minRate, int32_t maxRate, int32_t channels = 2) {
    return SimPin(false, channels, 16, 24, minRate, maxRate);
}
TSimPin Render(int32_t minRate, int32_t maxRate, int32_t channels = 2) {
    return SimPin(true, channels, 16, 16, minRate, maxRate);
}
// A pin of 8-bit samples only: its driver refuses the 16 to 32 bits every start asks for.
TSimPin Refusing(TSimPin pin) {
    pin.Ranges[0].MinBits = pin.Ranges[0].MaxBits = 8;
    return pin;
}

// Rate, block, width and gain of every start, and at most two channels to render.
TEST_F(DspStart, RateIsTheLowestOctaveOfTwelveKilohertzTheDevicesAccept) {
    const auto input = &TDsp::StartInput, output = &TDsp::StartOutput, duplex = &TDsp::StartDuplex;
    // one pin that takes only 44100 and another that takes only 96000
    const std::vector<TSimPin> only44100or96000 = {Capture(44100, 44100), Capture(96000, 96000)};
    const struct {
        std::vector<TSimPin> capture, render;
        void (TDsp::*start)();
        int32_t rate; // expected device rate; 0: the start fails with the device's error
    } cases[] = {
        {{Capture(8000, 48000)}, {}, input, 12000},
        {only44100or96000, {}, input, 96000},
        {{Refusing(Capture(44100, 48000))}, {}, input, 0},
        {{}, {Render(44100, 48000)}, output, 48000},
        {{}, {Render(8000, 48000, 1)}, output, 12000},
        {{}, {Render(8000, 48000, 6)}, output, 12000},
        {only44100or96000, {Render(8000, 192000)}, duplex, 96000},
        {{Capture(8000, 192000)}, {Refusing(Render(44100, 48000))}, duplex, 0},
    };
    // Devices 2i and 2i + 1 are case i's microphone and speaker.
    for (const auto& c : cases) {
        Sim.AddDevice(
            SimDevice("Mic", c.capture.empty() ? std::vector{Capture(8000, 8000)} : c.capture));
        Sim.AddDevice(
            SimDevice("Speaker", c.render.empty() ? std::vector{Render(8000, 8000)} : c.render));
    }
    TDsp& dsp = MakeDsp();
    dsp.SetPlaybackGainDb(20.0f);
    dsp.SetOutputGainDb(-40.0f);
    for (const auto& c : cases) {
        const auto index = static_cast<int32_t>(&c - cases);
        SCOPED_TRACE(::testing::Message() << index);
        Selection = {2 * index, 2 * index + 1};
        dsp.SetMode(c.start == input ? dmAdjustGain : c.start == output ? dmPlay : dmProcess);
        const int code = test::WdmErrorOf([&] { (dsp.*c.start)(); }).first;
        const bool render = c.start != input;
        if (c.rate == 0) {
            EXPECT_EQ(code, render ? wdmOutputFormatFailed : wdmInputFormatFailed);
            EXPECT_FALSE(dsp.Stream().Running());
            // tried once at 48000, never above the highest rate
            EXPECT_EQ(
                (render ? dsp.Stream().OutputDevice() : dsp.Stream().InputDevice()).SamplingRate,
                48000);
            continue;
        }
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(dsp.Stream().Running());
        EXPECT_TRUE(dsp.AnalysisOn());
        if (render) {
            EXPECT_FLOAT_EQ(dsp.InterpolatorGainDb(), c.start == output ? 20.0f : -40.0f);
        } else {
            EXPECT_EQ(dsp.Chain().OutputFrames(), 0); // the displays only
        }
        for (bool isRender : {false, true}) {
            if (isRender != render && c.start != duplex)
                continue;
            const TDeviceSettings& device =
                isRender ? dsp.Stream().OutputDevice() : dsp.Stream().InputDevice();
            EXPECT_EQ(device.SamplingRate, c.rate);
            EXPECT_EQ(device.BitsPerSample, isRender ? 16 : 24); // the widest
            // one block at 12 kHz: a short one while processing at low latency
            const int32_t block = c.start == duplex ? TDsp::kLowLatencyBlockSize : 1024;
            EXPECT_EQ(device.SamplesPerBuf, block * c.rate / 12000);
            EXPECT_EQ(isRender ? dsp.Chain().OutputFrames() : dsp.Chain().InputFrames(),
                      device.SamplesPerBuf);
            if (isRender) {
                EXPECT_EQ(device.Channels, std::min(2, c.render[0].Ranges[0].MaxChannels));
            }
        }
        dsp.Stop();
    }
}

// Invalid, unsuitable or missing devices are clear errors; on a good one, measuring runs on what
// was pushed and ends with the run, and a hidden window measures nothing.
TEST_F(DspStart, StartsNameWhatIsWrongAndMeasureOnlyWhileRunningAndShown) {
    TDsp& dsp = WithDevices({Capture(8000, 48000)}, {Render(8000, 48000)});
    dsp.SetMode(dmProcess);
    EXPECT_TRUE(dsp.DevicesValid());
    Selection.InputDeviceIndex = 2;
    EXPECT_FALSE(dsp.DevicesValid());
    EXPECT_EQ(test::WdmErrorOf([&] { dsp.StartInput(); }).first, wdmInvalidDevice);
    Selection = {1, 0}; // the speaker cannot capture, the microphone cannot play
    EXPECT_TRUE(dsp.DevicesValid());
    EXPECT_EQ(test::WdmErrorOf([&] { dsp.StartInput(); }).first, wdmNoInputPin);
    EXPECT_EQ(test::WdmErrorOf([&] { dsp.StartOutput(); }).first, wdmNoOutputPin);
    Selection.OutputDeviceIndex = -1;
    EXPECT_FALSE(dsp.DevicesValid());

    // A saved device that is gone refuses every start and is named.
    SelectSavedDevices(*Audio, {"01  Mic", "sim:0"}, {"04  Radio-TX", "radio_tx"}, Selection);
    EXPECT_FALSE(dsp.DevicesValid());
    for (TDspMode mode : {dmPlay, dmProcess}) {
        dsp.SetMode(mode);
        EXPECT_EQ(test::MessageOf<Exception>(
                      [&] { mode == dmPlay ? dsp.StartOutput() : dsp.StartDuplex(); }),
                  "Sound device not found: Radio-TX");
        EXPECT_FALSE(dsp.Running());
        EXPECT_FALSE(Sim.PinCreated(1, 0)); // nothing played elsewhere
    }
    dsp.SetMode(dmAdjustGain); // the microphone is there
    dsp.StartInput();
    EXPECT_TRUE(dsp.Running());
    RunBlocks(3, 12000);
    EXPECT_GT(dsp.Analysis().InSpectrum().Count(), 0);
    dsp.Stop();
    dsp.Stop(); // never raises
    EXPECT_EQ(dsp.Analysis().InSpectrum().Count(), 0);
    EXPECT_EQ(dsp.Analysis().OutSpectrum().Count(), 0);
    EXPECT_EQ(dsp.Mode(), dmAdjustGain);

    Selection = {0, 1};
    dsp.SetDisplaysVisible(false);
    dsp.SetMode(dmProcess);
    dsp.StartDuplex();
    EXPECT_FALSE(dsp.AnalysisOn());
    EXPECT_EQ(dsp.BlockCount(), 0);
}

// Devices whose clock runs as fast as the engine follows.
class LiveRun : public test::TDspFixture {
protected:
    LiveRun() : TDspFixture(TSimPlatform::scAccelerated) {
        WithDevices({SimPin(false, 2, 16, 16, 8000, 48000)}, {SimPin(true, 2, 16, 16, 8000, 48000)})
            .SetMode(dmProcess);
    }
};

TEST_F(LiveRun, RunsUntilAskedToStopOrUntilTheStreamEndsThenReleasesTheDevices) {
    Dsp->StartDuplex();
    EXPECT_EQ(RunLive(*Dsp, Sync, [&] { return Dsp->BlockCount() >= 20; }), leStopRequested);
    EXPECT_GE(Dsp->BlockCount(), 20);
    EXPECT_FALSE(Dsp->Running());
    EXPECT_EQ(Sim.OpenCount(0) + Sim.OpenCount(1), 0);
    EXPECT_TRUE(View.EndReasons.empty());
    EXPECT_TRUE(View.Errors.empty());

    // A stream that ends by itself is reported with its reason.
    Dsp->StartDuplex();
    bool removed = false;
    const TLiveRunEnd end = RunLive(*Dsp, Sync, [&] {
        if (Dsp->BlockCount() >= 10 && !removed) {
            Sim.RemoveDevice(1); // the transmitter's sound card is unplugged
            removed = true;
        }
        return false;
    });
    EXPECT_EQ(end, leStreamEnded);
    ASSERT_EQ(View.EndReasons.size(), 1u);
    EXPECT_FALSE(View.EndReasons[0].empty());
    EXPECT_FALSE(Dsp->Running());
    EXPECT_EQ(Sim.OpenCount(0), 0);
}

} // namespace
} // namespace sonari
