#include "SND/WDM/DeviceChoice.h"

#include "SND/Exceptions.h"
#include "SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace sonari {
namespace {

using ::testing::ElementsAre;

TSimPin Capture() { return SimPin(false, 2, 16, 24, 8000, 48000); }
TSimPin Render() { return SimPin(true, 2, 16, 32, 8000, 48000); }

class DeviceChoice : public test::TSimFixture {
protected:
    // A device whose key is `key`.
    size_t Add(const std::string& name, const std::string& key, std::vector<TSimPin> pins) {
        TSimDevice device = SimDevice(name, std::move(pins));
        device.Path = key;
        return Sim.AddDevice(std::move(device));
    }
};

TEST_F(DeviceChoice, TheKeyFindsADeviceWhoseCaptionNowNamesAnother) {
    Add("Default ALSA device", "default", {Capture(), Render()});
    Add("USB Audio CODEC: USB Audio", "hw:CARD=CODEC,DEV=0", {Capture(), Render()});
    Add("USB Audio CODEC: USB Audio", "hw:CARD=CODEC_1,DEV=0", {Capture(), Render()});
    const TWdmAudio& audio = Build();
    // saved when the second radio was device 02: the caption now names the first radio
    const TSavedDevice second{"02  USB Audio CODEC: USB Audio", "hw:CARD=CODEC_1,DEV=0"};
    EXPECT_EQ(FindSavedDevice(audio, second, true), 2);
    // an older file without keys: the caption's number decides between twins
    EXPECT_EQ(FindSavedDevice(audio, {"03  usb audio codec: usb audio", ""}, true), 2);
    EXPECT_EQ(FindSavedDevice(audio, {"07  USB Audio CODEC: USB Audio", ""}, true), 1);
    // a key that is gone falls back to the caption
    EXPECT_EQ(FindSavedDevice(audio, {"05  Default ALSA device", "hw:CARD=Gone,DEV=0"}, false), 0);
    EXPECT_EQ(FindSavedDevice(audio, {"05  Radio-TX", "radio_tx"}, true), -1);
}

TEST_F(DeviceChoice, AnOutputAndAnInputOfTheSameDescriptionAreToldApartByDirection) {
    Add("Speakers", "speakers", {Render()});
    Add("PCM2902 Audio Codec Analog Stereo", "alsa_output.usb-PCM2902", {Render()});
    Add("PCM2902 Audio Codec Analog Stereo", "alsa_input.usb-PCM2902", {Capture()});
    const TWdmAudio& audio = Build();
    EXPECT_THAT(DevicesNamed(audio, "pcm2902 audio codec analog stereo", false), ElementsAre(2, 1));
    EXPECT_THAT(DevicesNamed(audio, "02  PCM2902 Audio Codec Analog Stereo", true),
                ElementsAre(1, 2));
    // a name that merely starts with digits keeps them
    EXPECT_THAT(DevicesNamed(audio, "2902 Audio Codec Analog Stereo", true), ElementsAre());
    // saved in an older file, by caption alone, before "Speakers" came first
    EXPECT_EQ(FindSavedDevice(audio, {"01  PCM2902 Audio Codec Analog Stereo", ""}, false), 2);
    EXPECT_EQ(FindSavedDevice(audio, {"02  PCM2902 Audio Codec Analog Stereo", ""}, true), 1);
}

TEST_F(DeviceChoice, ASavedDeviceThatIsGoneIsNamedAndNothingStandsInForIt) {
    Add("Mic", "mic", {Capture()});
    Add("Speakers", "speakers", {Render()});
    const TWdmAudio& audio = Build();
    TDeviceSelection selection;
    selection.InputDeviceIndex = 0;
    SelectSavedDevices(audio, {}, {"05  Radio-TX", "radio_tx"}, selection);
    EXPECT_EQ(selection.InputDeviceIndex, 0); // nothing saved: as it was
    EXPECT_EQ(selection.OutputDeviceIndex, -1);
    EXPECT_EQ(selection.MissingOutput.Key, "radio_tx");
    EXPECT_EQ(MissingDeviceMessage(audio, selection), "Sound device not found: Radio-TX");
    EXPECT_EQ(MissingDeviceMessage(audio, selection, false), "");

    // choosing another device in the dialog sets only the index: the message goes
    selection.OutputDeviceIndex = 1;
    EXPECT_EQ(MissingDeviceMessage(audio, selection), "");

    SelectSavedDevices(audio, {"01  Mic", "mic"}, {"", "radio_tx"}, selection);
    EXPECT_EQ(selection.InputDeviceIndex, 0);
    EXPECT_EQ(selection.MissingInput.Caption, "");
    EXPECT_EQ(MissingDeviceMessage(audio, selection), "Sound device not found: radio_tx");
}

TEST_F(DeviceChoice, ReadingTheListAgainKeepsTheSelectionOnItsDevicesButNotWhileOneIsOpen) {
    const size_t aux = Add("Aux", "aux", {Render()});
    Add("Mic", "mic", {Capture()});
    const size_t radio = Add("Radio-TX", "radio_tx", {Render()});
    TWdmAudio& audio = Build();
    TDeviceSelection selection;
    selection.InputDeviceIndex = 1;
    selection.OutputDeviceIndex = 2;

    Sim.RemoveDevice(aux); // the numbers shift down
    RefreshDevices(audio, selection);
    EXPECT_THAT(test::DeviceNames(audio), ElementsAre("01  Mic", "02  Radio-TX"));
    EXPECT_EQ(selection.InputDeviceIndex, 0);
    EXPECT_EQ(selection.OutputDeviceIndex, 1);

    Sim.RemoveDevice(radio); // switched off
    RefreshDevices(audio, selection);
    EXPECT_EQ(selection.OutputDeviceIndex, -1);
    EXPECT_EQ(MissingDeviceMessage(audio, selection), "Sound device not found: Radio-TX");

    Sim.RestoreDevice(aux);
    Sim.RestoreDevice(radio); // switched on again
    RefreshDevices(audio, selection);
    ASSERT_EQ(selection.OutputDeviceIndex, 2);
    EXPECT_EQ(audio.DeviceName(2), "03  Radio-TX");
    EXPECT_EQ(selection.InputDeviceIndex, 1);
    EXPECT_EQ(MissingDeviceMessage(audio, selection), "");

    // never while a device is open
    TWdmAudioStream stream(audio, Sync);
    stream.SetDirections(ddCapture);
    stream.SetInputDevice({1, 2, 16, 48000, 480});
    stream.OnData = [](TWdmAudioStream&, TDataBufferI&, TDataBufferF&, TDataBufferF&) {};
    stream.Start();
    EXPECT_THROW(audio.Refresh(), EAssertionFailed);
    EXPECT_EQ(audio.DeviceCount(), 3);
    stream.Stop();
    EXPECT_NO_THROW(audio.Refresh());
}

} // namespace
} // namespace sonari
