#include "SND/WDM/WdmPins.h"

#include "SND/WDM/WdmErrors.h"
#include "SimFixture.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace sonari {
namespace {

using test::TSimFixture;

class Pins : public TSimFixture {
protected:
    IAudioPlatform& Platform() { return Audio->Platform(); }
    TFilter& Device(size_t index) { return Audio->Filters()[index]; }
};

// Runs `action` and returns the audio-layer error it raised (code and message).
template <typename F>
EWdmAudioError ErrorOf(F action) {
    try {
        action();
    } catch (const EWdmAudioError& e) {
        return e;
    }
    ADD_FAILURE() << "no EWdmAudioError was raised";
    return EWdmAudioError(0, "");
}

TEST_F(Pins, FindPinTakesTheFirstPinThatCarriesChannelsAndRate) {
    Sim.AddDevice(SimDevice("Interface", {SimPin(false, 2, 16, 16, 8000, 48000),
                                          SimPin(true, 8, 16, 16, 8000, 192000),
                                          SimPin(false, 8, 24, 24, 44100, 192000),
                                          SimPin(false, 8, 16, 16, 8000, 192000)}));
    Build();
    TFilter& device = Device(0);
    EXPECT_EQ(FindPin(device, false, TDeviceSettings{0, 2, 32, 48000, 480})->PinId, 0u);
    EXPECT_EQ(FindPin(device, false, TDeviceSettings{0, 4, 16, 48000, 480})->PinId, 2u);
    EXPECT_EQ(FindPin(device, false, TDeviceSettings{0, 2, 16, 96000, 960})->PinId, 2u);
    EXPECT_EQ(FindPin(device, true, TDeviceSettings{0, 8, 8, 192000, 480})->PinId, 1u);
    EXPECT_EQ(FindPin(device, false, TDeviceSettings{0, 9, 16, 48000, 480}), nullptr);
    EXPECT_EQ(FindPin(device, false, TDeviceSettings{0, 2, 16, 7999, 480}), nullptr);
}

TEST_F(Pins, AsksForTheSettingsChannelsFirstAndTakesWhatTheDriverAnswered) {
    Sim.AddDevice(SimDevice("Eight channels", {SimPin(false, 8, 16, 32, 8000, 96000),
                                               SimPin(false, 8, 16, 16, 48000, 48000)}));
    Sim.Faults(0, 1).AnswerChannels = 4;
    Sim.Faults(0, 1).AnswerPlainPcm = true;
    Build();
    TDeviceSettings input = TDeviceSettings{0, 2, 16, 44100, 1024};
    OpenDevice(Platform(), Device(0));
    NegotiateFormat(Platform(), Device(0).Pins[0], input);
    const std::vector<TDataRange>& request = Sim.LastIntersectionRequest;
    ASSERT_EQ(request.size(), 2u);
    EXPECT_EQ(request[0].MaxChannels, 2);
    EXPECT_EQ(request[1].MaxChannels, 8);
    EXPECT_EQ(request[1].MinRate, 44100);
    EXPECT_EQ(input.Channels, 2);
    EXPECT_EQ(input.BitsPerSample, 32);

    input = TDeviceSettings{0, 1, 24, 48000, 1024};
    NegotiateFormat(Platform(), Device(0).Pins[1], input);
    EXPECT_EQ(input.Channels, 4);
    EXPECT_EQ(input.BitsPerSample, 16);
    EXPECT_EQ(Device(0).Pins[1].WaveFormat.wFormatTag, WAVE_FORMAT_PCM);
}

TEST_F(Pins, ARefusedFormatOrDeviceRaisesTheErrorOfItsDirectionWithTheReason) {
    Sim.AddDevice(SimDevice(
        "Odd", {SimPin(true, 2, 16, 16, 48000, 48000), SimPin(false, 2, 16, 16, 48000, 48000)}));
    Sim.Faults(0, 0).IntersectionError = EIO;
    Sim.Faults(0, 1).AnswerBits = 20;
    Build();
    TDeviceSettings settings = TDeviceSettings{0, 2, 16, 48000, 1024};

    EWdmAudioError render = ErrorOf([&] { OpenPin(Platform(), Device(0).Pins[0], settings); });
    EXPECT_EQ(render.Code, wdmOutputFormatFailed);
    EXPECT_STREQ(render.what(), "Cannot negotiate output format with 01  Odd: error 5");
    EXPECT_EQ(render.Reason(), "Odd: Input/output error");
    // The device stays open: the next start reuses it.
    EXPECT_EQ(Sim.OpenCount(0), 1);

    EWdmAudioError capture = ErrorOf([&] { OpenPin(Platform(), Device(0).Pins[1], settings); });
    EXPECT_EQ(capture.Code, wdmInputFormatFailed);
    EXPECT_STREQ(capture.what(), "Cannot negotiate input format with 01  Odd: error 22");
    EXPECT_EQ(capture.Reason(), "20-bit samples in frames of 5 bytes");
    EXPECT_EQ(Sim.TotalOpenCount(0), 2); // scan, then one open for both attempts
    CloseDeviceIfIdle(Device(0));
    EXPECT_EQ(Sim.OpenCount(0), 0);

    // a device that cannot be opened: its name and the system's reason
    Sim.DeviceFaults(0).OpenFails = true;
    EWdmAudioError failed = ErrorOf([&] { OpenPin(Platform(), Device(0).Pins[1], settings); });
    EXPECT_EQ(failed.Code, wdmOpenDeviceFailed);
    EXPECT_STREQ(failed.what(), "Unable to open device: 01  Odd");
    EXPECT_EQ(ErrorMessage(failed), "Unable to open device: 01  Odd (Odd: Permission denied)");
    EXPECT_FALSE(Device(0).Handle.IsOpen());
}

} // namespace
} // namespace sonari
