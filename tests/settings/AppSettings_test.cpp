#include "settings/AppSettings.h"

#include "settings/IniFile.h"
#include "tests/settings/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <strings.h>
#include <vector>

namespace sonari {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

// The main window as the settings see it, starting from its design values.
struct TFakeWindow : ISettingsHost {
    int32_t Left = 300, Top = 200;
    bool Centred = true;
    int32_t Gain = 20;
    bool GainEnabled = false;
    float Volume = 0.5f, Noise = 0.5f, SnrDb = 10.0f;
    std::string Profile;
    int32_t ToneMode = 0;
    bool Tray = false, Processing = false;

    int32_t WindowLeft() const override { return Left; }
    int32_t WindowTop() const override { return Top; }
    void SetWindowPosition(int32_t left, int32_t top) override {
        Centred = false;
        Left = left;
        Top = top;
    }
    int32_t SoftGain() const override { return Gain; }
    void SetSoftGain(int32_t gainDb) override { Gain = std::clamp(gainDb, -100, 100); }
    bool SoftGainEnabled() const override { return GainEnabled; }
    void SetSoftGainEnabled(bool enabled) override { GainEnabled = enabled; }
    float PlaybackVolume() const override { return Volume; }
    void SetPlaybackVolume(float position) override { Volume = position; }
    float NoiseLevel() const override { return Noise; }
    void SetNoiseLevel(float position) override { Noise = position; }
    void SetNoiseSnrDb(float snrDb) override { SnrDb = snrDb; }
    std::string ProfileFileName() const override { return Profile; }
    void SetProfileFileName(const std::string& fileName) override { Profile = fileName; }
    void SetToneMode(int32_t toneMode) override { ToneMode = toneMode; }
    bool StartInTray() const override { return Tray; }
    void SetStartInTray(bool startInTray) override { Tray = startInTray; }
    bool StartProcessing() const override { return Processing; }
    void SetStartProcessing(bool startProcessing) override { Processing = startProcessing; }
};

struct TFakeDevices : IDeviceList {
    explicit TFakeDevices(std::vector<std::string> names) : Names(std::move(names)) {}
    std::vector<std::string> Names;
    int32_t DeviceCount() const override { return static_cast<int32_t>(Names.size()); }
    std::string DeviceName(int32_t index) const override { return Names.at(index); }
    int32_t IndexOfDevice(const std::string& name) const override {
        for (size_t i = 0; i < Names.size(); ++i)
            if (!name.empty() && strcasecmp(Names[i].c_str(), name.c_str()) == 0)
                return static_cast<int32_t>(i);
        return -1;
    }
};

class SettingsFileTest : public ::testing::Test {
protected:
    std::string File() const { return (dir_ / "sonari.ini").string(); }
    void Write(const std::string& text) const { WriteFileBytes(File(), text); }
    std::string Text() const { return ReadFileBytes(File()); }
    void Load() { LoadSettings(File(), window_, devices_, selection_); }
    void Save() { SaveSettings(File(), window_, devices_, selection_); }

    TTempDir dir_;
    TFakeWindow window_;
    TFakeDevices devices_{{"01  Headset", "02  USB Audio CODEC", "03  Line"}};
    TDeviceSelection selection_;
};

TEST_F(SettingsFileTest, SaveThenLoadReproducesEverySetting) {
    window_.SetWindowPosition(-40, 1200);
    window_.Gain = -17;
    window_.GainEnabled = true;
    window_.Volume = 0.1f;
    window_.Noise = 0.8125f;
    window_.Profile = "/home/op/.config/Brisko/Products/sonari/Prof/Contest.ini";
    window_.Tray = window_.Processing = true;
    selection_ = {2, 1};
    Save();

    TFakeWindow loaded;
    TDeviceSelection selection;
    LoadSettings(File(), loaded, devices_, selection);
    EXPECT_FALSE(loaded.Centred);
    EXPECT_EQ(loaded.Left, -40);
    EXPECT_EQ(loaded.Top, 1200);
    EXPECT_EQ(loaded.Gain, -17);
    EXPECT_TRUE(loaded.GainEnabled);
    EXPECT_EQ(loaded.Volume, 0.1f);
    EXPECT_EQ(loaded.Noise, 0.8125f);
    EXPECT_EQ(loaded.SnrDb, -15.0f);
    EXPECT_EQ(loaded.Profile, window_.Profile);
    EXPECT_TRUE(loaded.Tray);
    EXPECT_TRUE(loaded.Processing);
    EXPECT_EQ(selection.InputDeviceIndex, 2);
    EXPECT_EQ(selection.OutputDeviceIndex, 1);
}

TEST_F(SettingsFileTest, WritesTheKeysInTheirOrderAndNeverTheToneSwitch) {
    window_.ToneMode = 2;
    Save();
    EXPECT_EQ(Text(), "[Window]\nTop=200\nLeft=300\n\n"
                      "[Audio]\nInputDevice=01  Headset\nOutputDevice=01  Headset\n"
                      "SoftGain=20\nSoftGainEnabled=0\nLastProfile=\n\n"
                      "[Playback]\nVolume=0.5\nNoise=0.5\n\n"
                      "[Startup]\nStartInTray=0\nStartProcessing=0\n");
}

TEST_F(SettingsFileTest, AMissingFileKeepsTheDesignValues) {
    selection_ = {1, 2};
    Load();
    EXPECT_TRUE(window_.Centred);
    EXPECT_EQ(window_.Gain, 20);
    EXPECT_EQ(window_.Volume, 0.5f);
    EXPECT_EQ(window_.SnrDb, 10.0f);
    EXPECT_EQ(window_.ToneMode, 0);
    EXPECT_FALSE(window_.Tray || window_.Processing);
    EXPECT_EQ(selection_.InputDeviceIndex, 1);
    EXPECT_EQ(selection_.OutputDeviceIndex, 2);
}

TEST_F(SettingsFileTest, MovesTheWindowOnlyWhenLeftIsThere) {
    Write("[Window]\nTop=50\n");
    Load();
    EXPECT_TRUE(window_.Centred);
    EXPECT_EQ(window_.Top, 200);

    Write("[Window]\nTop=50\nLeft=-111\n");
    Load();
    EXPECT_TRUE(window_.Centred);
    Write("[Window]\nLeft=0x10\n");
    Load();
    EXPECT_FALSE(window_.Centred);
    EXPECT_EQ(window_.Left, 16);
    EXPECT_EQ(window_.Top, 200);
}

TEST_F(SettingsFileTest, FindsDevicesByNameAndFallsBackToTheFirst) {
    Write("[AUDIO]\ninputdevice=02  usb audio codec\nOutputDevice=04  Gone\n");
    selection_ = {2, 2};
    Load();
    EXPECT_EQ(selection_.InputDeviceIndex, 1);
    EXPECT_EQ(selection_.OutputDeviceIndex, 0);

    Write("[Audio]\nInputDevice=\n");
    selection_ = {2, 2};
    Load();
    EXPECT_EQ(selection_.InputDeviceIndex, 2);
    EXPECT_EQ(selection_.OutputDeviceIndex, 2);
}

TEST_F(SettingsFileTest, KeepsSavedDeviceNamesWhileTheSelectionIsInvalid) {
    Write("[Audio]\nInputDevice=05  Rig\nOutputDevice=06  Rig\n");
    devices_.Names.clear();
    Save();
    EXPECT_NE(Text().find("InputDevice=05  Rig\nOutputDevice=06  Rig\n"), std::string::npos);

    devices_.Names = {"01  Headset"};
    selection_ = {0, 1};
    Save();
    EXPECT_NE(Text().find("InputDevice=05  Rig\nOutputDevice=06  Rig\n"), std::string::npos);
}

TEST_F(SettingsFileTest, KeepsTheToneSwitchAndEverythingUnknownAcrossASave) {
    const std::string extra =
        "; tuned for the FT-991\n[Debug]\ngeneratetone=1\n[Rig]\nCat=/dev/ttyUSB0\n";
    Write(extra + "[Startup]\nStartInTray=1\n; the end\n");
    Load();
    EXPECT_EQ(window_.ToneMode, 1);
    EXPECT_TRUE(window_.Tray);
    Save();
    EXPECT_EQ(Text().rfind(extra, 0), 0u) << Text();
    EXPECT_NE(Text().find("StartInTray=1\nStartProcessing=0\n; the end\n"), std::string::npos);
    TFakeWindow loaded;
    LoadSettings(File(), loaded, devices_, selection_);
    EXPECT_EQ(loaded.ToneMode, 1);
}

TEST_F(SettingsFileTest, ClampsSliderPositionsAndDerivesTheNoiseRatio) {
    Write("[Playback]\nVolume=7\nNoise=-1e300\n");
    Load();
    EXPECT_EQ(window_.Volume, 1.0f);
    EXPECT_EQ(window_.SnrDb, 50.0f);
}

TEST_F(SettingsFileTest, ABadVolumeEndsTheLoadThere) {
    Write("[Audio]\nSoftGain=-6\nLastProfile=/p.ini\n[Playback]\nVolume=0,7\nNoise=0.25\n"
          "[Startup]\nStartProcessing=1\n");
    try {
        Load();
        FAIL() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'0,7' is not a valid floating point value");
    }
    EXPECT_EQ(window_.Gain, -6);
    EXPECT_EQ(window_.Volume, 0.5f);
    EXPECT_EQ(window_.Noise, 0.5f);
    EXPECT_EQ(window_.Profile, "");
    EXPECT_FALSE(window_.Processing);

    Write("[Playback]\nNoise=nan\n");
    EXPECT_THROW(Load(), EConvertError);
    EXPECT_EQ(window_.SnrDb, 10.0f);
}

TEST_F(SettingsFileTest, AFailedSaveEndsAtTheKeyThatFailed) {
    Save();
    const std::string before = Text();
    window_.Profile = "/home/op/" + std::string(300, 'p') + ".ini";
    window_.Gain = 5;
    {
        // Room for the changed gain, not for the long profile path.
        test::TFileSizeLimit fullDisk(before.size() + 100);
        EXPECT_THROW(Save(), EIniFileException);
    }
    EXPECT_NE(Text().find("SoftGain=5\n"), std::string::npos);
    EXPECT_NE(Text().find("LastProfile=\n"), std::string::npos);
}

} // namespace
} // namespace sonari
