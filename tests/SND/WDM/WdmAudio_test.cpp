#include "SND/WDM/WdmAudio.h"

#include "SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

namespace sonari {
namespace {

using test::TSimFixture;
using ::testing::ElementsAre;

TSimPin Capture(int channels = 2, int minRate = 8000, int maxRate = 48000) {
    return SimPin(false, channels, 16, 24, minRate, maxRate);
}

TSimPin Render(int channels = 2, int minRate = 8000, int maxRate = 48000) {
    return SimPin(true, channels, 16, 32, minRate, maxRate);
}

std::vector<std::string> Names(const TDeviceNameList& names) {
    std::vector<std::string> result;
    for (const auto& [name, index] : names)
        result.push_back(name + " @" + std::to_string(index));
    return result;
}

class DeviceList : public TSimFixture {};

// A device with both directions is in both name lists under one index.
TEST_F(DeviceList, NumbersDevicesInOrderAndGivesADroppedDevicesNumberToTheNext) {
    Sim.AddDevice(SimDevice("Mic", {Capture()}));
    TSimPin bridge = Capture();
    bridge.Communication = pcBridge;
    TSimPin none = Render();
    none.Communication = pcNone;
    Sim.AddDevice(SimDevice("Bridges", {bridge, none}));
    Sim.AddDevice(SimDevice("Speaker", {Render()}));
    Sim.AddDevice(SimDevice("Headset", {Render(), Capture()}));
    TWdmAudio& audio = Build();

    ASSERT_TRUE(audio.Initialized());
    ASSERT_THAT(test::DeviceNames(audio), ElementsAre("01  Mic", "02  Speaker", "03  Headset"));
    EXPECT_THAT(Names(audio.CaptureNames()), ElementsAre("01  Mic @0", "03  Headset @2"));
    EXPECT_THAT(Names(audio.RenderNames()), ElementsAre("02  Speaker @1", "03  Headset @2"));
    // every device was opened for the scan and closed after it
    for (size_t d = 0; d < 4; ++d) {
        EXPECT_EQ(Sim.OpenCount(d), 0);
        EXPECT_EQ(Sim.TotalOpenCount(d), 1);
    }
    EXPECT_FALSE(audio.Filters()[0].Handle.IsOpen());
}

// A caption finds its device whatever the letter case, never the bare name.
TEST_F(DeviceList, NumbersGrowToThreeDigitsFromTheHundredthDeviceAndCaptionsFindThem) {
    for (int i = 0; i < 99; ++i)
        Sim.AddDevice(SimDevice("Card", {Render()}));
    Sim.AddDevice(SimDevice("USB Audio CODEC", {Capture()}));
    TWdmAudio& audio = Build();
    ASSERT_EQ(audio.DeviceCount(), 100);
    EXPECT_EQ(audio.DeviceName(8), "09  Card");
    EXPECT_EQ(audio.DeviceName(99), "100  USB Audio CODEC");
    EXPECT_EQ(audio.IndexOfDevice("09  Card"), 8);
    EXPECT_EQ(audio.IndexOfDevice("100  usb audio codec"), 99);
    EXPECT_EQ(audio.IndexOfDevice("USB Audio CODEC"), -1);
}

// A real-time device stays only with looped streaming pins; one whose real-time alias was
// removed is a standard device.
TEST_F(DeviceList, LeavesOutDevicesTheRegistryOrTheirDriverCannotDescribe) {
    TSimDevice noAlias = SimDevice("No alias", {Capture()});
    noAlias.Capture = iaNone;
    TSimDevice removedAlias = SimDevice("Removed alias", {Render()});
    removedAlias.Render = iaRemoved;
    TSimDevice standardOnly = SimDevice("Standard only", {Capture()});
    standardOnly.Realtime = iaPresent;
    TSimDevice loopedRemoved = SimDevice("Alias removed", {Capture()});
    loopedRemoved.Realtime = iaRemoved;
    for (const TSimDevice& device : {noAlias, removedAlias, standardOnly,
                                     SimDevice("Looped", {Capture()}, true), loopedRemoved})
        Sim.AddDevice(device);
    Sim.DeviceFaults(Sim.AddDevice(SimDevice("No path", {Capture()}))).PathMissing = true;
    Sim.DeviceFaults(Sim.AddDevice(SimDevice("No name", {Capture()}))).NameMissing = true;
    Sim.DeviceFaults(Sim.AddDevice(SimDevice("Cannot open", {Capture()}))).OpenFails = true;
    Sim.DeviceFaults(Sim.AddDevice(SimDevice("No pin count", {Capture()}))).PinCountFails = true;
    Sim.AddDevice(SimDevice("Good", {Capture()}));
    TWdmAudio& audio = Build();
    ASSERT_THAT(test::DeviceNames(audio),
                ElementsAre("01  Looped", "02  Alias removed", "03  Good"));
    EXPECT_TRUE(audio.Filters()[0].IsRealtime);
    EXPECT_EQ(audio.Filters()[0].Pins[0].Connect.Interface.Id,
              KSINTERFACE_STANDARD_LOOPED_STREAMING);
    EXPECT_FALSE(audio.Filters()[1].IsRealtime);
}

// A kept pin copies the standard interfaces until the wanted one and skips others.
TEST_F(DeviceList, ExaminesEachPinOnItsOwnAndDropsOnlyThoseThatFail) {
    const TGuid otherSet = {0x12345678, 0, 0, {0}};
    auto capture = [](auto change, int channels = 2) {
        TSimPin pin = Capture(channels);
        change(pin);
        return pin;
    };
    std::vector<TSimPin> pins = {
        capture([](TSimPin& p) { p.Communication = pcSource; }),
        capture(
            [&](TSimPin& p) {
                p.Communication = pcBoth;
                p.Interfaces = {{otherSet, 0, 7},
                                {KSINTERFACESETID_Standard, 2, 5},
                                {KSINTERFACESETID_Standard, 0, 3},
                                {KSINTERFACESETID_Standard, 1, 9}};
            },
            1),
        capture([&](TSimPin& p) {
            p.Interfaces = {{otherSet, 0, 0}};
        }),
        capture([&](TSimPin& p) {
            p.Mediums = {{KSMEDIUMSETID_Standard, 1, 0}, {otherSet, 0, 0}};
        }),
        capture([](TSimPin& p) { p.Ranges[0].SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT; }),
        capture([](TSimPin& p) { p.DataFlow = dfNone; }),
        // one try covers every query of a pin: the last query failing shows it drops the pin
        Capture(), Render(6)};
    Sim.Faults(0, static_cast<uint32_t>(pins.size() - 2)).InstanceCountFails = true;
    Sim.AddDevice(SimDevice("Mixed", pins));
    TWdmAudio& audio = Build();

    ASSERT_EQ(audio.DeviceCount(), 1);
    const TPins& kept = audio.Filters()[0].Pins;
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].PinId, 1u);
    EXPECT_FALSE(kept[0].IsRender);
    EXPECT_EQ(kept[0].MaxChannels, 1);
    const TKsIdentifier& chosen = kept[0].Connect.Interface;
    EXPECT_EQ(chosen.Set, KSINTERFACESETID_Standard);
    EXPECT_EQ(chosen.Id, 0u);
    EXPECT_EQ(chosen.Flags, 3u);
    EXPECT_EQ(kept[1].PinId, pins.size() - 1);
    EXPECT_TRUE(kept[1].IsRender);
    for (const TPin& pin : kept)
        EXPECT_EQ(pin.Connect.PinId, pin.PinId);
}

TEST_F(DeviceList, IsEmptyAndNotInitializedWhenThePlatformOrTheEnumerationFails) {
    Sim.AddDevice(SimDevice("Mic", {Capture()}));
    Sim.AddDevice(SimDevice("Speaker", {Render()}));
    Sim.EnumerationFailsAt = 2;
    TWdmAudio& audio = Build();
    EXPECT_FALSE(audio.Initialized());
    EXPECT_EQ(audio.DeviceCount(), 0);
    EXPECT_TRUE(audio.CaptureNames().empty());
    EXPECT_TRUE(audio.RenderNames().empty());
    EXPECT_FALSE(TWdmAudio(std::make_unique<TSimPlatform>()).Initialized()); // no devices
}

// Capabilities gather over every PCM range of a pin and every pin of one direction.
TEST_F(DeviceList, CapsCombineThePcmRangesOfEveryPinOfOneDirection) {
    TSimPin second = Capture(6, 96000, 192000);
    second.Ranges[0].MinBits = 24;
    second.Ranges[0].MaxBits = 32;
    TDataRange low = second.Ranges[0];
    low.MinBits = 8;
    low.MinRate = 11025;
    TDataRange notPcm = second.Ranges[0];
    notPcm.MaxChannels = 64;
    notPcm.MaxRate = 384000;
    notPcm.MajorFormat = {1, 2, 3, {4}};
    second.Ranges = {second.Ranges[0], low, notPcm};
    Sim.AddDevice(SimDevice("Interface", {Capture(2, 8000, 48000), second, Render(2)}));
    Sim.AddDevice(SimDevice("Mic", {Capture()}));
    TWdmAudio& audio = Build();

    const TPin& pin = audio.Filters()[0].Pins[1];
    EXPECT_EQ(pin.MinBits, 8);
    EXPECT_EQ(pin.MinRate, 11025);
    const auto caps = [&](int32_t device, bool render) {
        const TDeviceCaps c = audio.GetCaps(device, render);
        return std::tuple(c.Found, c.MaxChannels, c.MinBits, c.MaxBits, c.MinRate, c.MaxRate);
    };
    EXPECT_EQ(caps(0, false), std::tuple(true, 6, 8, 32, 8000, 192000));
    EXPECT_TRUE(audio.HasPin(0, true));
    EXPECT_EQ(caps(1, true), std::tuple(false, 0, INT32_MAX, 0, INT32_MAX, 0)); // none found
    EXPECT_FALSE(audio.HasPin(1, true));
}

} // namespace
} // namespace sonari
