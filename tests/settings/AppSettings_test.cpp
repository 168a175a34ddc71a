#include "settings/AppSettings.h"

#include "settings/IniFile.h"
#include "tests/settings/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <tuple>

namespace sonari {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

// The main window's design values.
TAppSettings DesignValues() {
    TAppSettings s;
    s.Left = 300;
    s.Top = 200;
    s.SoftGain = 20;
    s.PlaybackVolume = 0.5f;
    s.NoiseLevel = 0.5f;
    s.InputDevice = s.OutputDevice = "01  Headset";
    s.InputDeviceId = s.OutputDeviceId = "hw:CARD=Headset,DEV=0";
    return s;
}

class SettingsFileTest : public ::testing::Test {
protected:
    std::string File() const { return (dir_ / "sonari.ini").string(); }
    void Write(const std::string& text) const { WriteFileBytes(File(), text); }
    std::string Text() const { return ReadFileBytes(File()); }
    void Load() { LoadSettings(File(), settings_); }
    void Save() { SaveSettings(File(), settings_); }

    TTempDir dir_;
    TAppSettings settings_ = DesignValues();
};

TEST_F(SettingsFileTest, SaveThenLoadReproducesEverySetting) {
    settings_.Left = -40;
    settings_.Top = 1200;
    settings_.SoftGain = -17;
    settings_.SoftGainEnabled = true;
    settings_.PlaybackVolume = 0.1f;
    settings_.NoiseLevel = 0.8125f;
    settings_.InputDevice = "03  Line";
    settings_.OutputDevice = "02  USB Audio CODEC";
    settings_.InputDeviceId = "alsa_input.usb-Burr-Brown_CODEC-00.analog-stereo";
    settings_.OutputDeviceId = "hw:CARD=CODEC,DEV=0";
    settings_.LastProfile = "/home/op/.config/Brisko/Products/sonari/Prof/Contest.ini";
    settings_.StartInTray = settings_.StartProcessing = true;
    settings_.Latency = 0;
    Save();

    TAppSettings loaded = DesignValues();
    LoadSettings(File(), loaded);
    EXPECT_TRUE(loaded.HasPosition);
    EXPECT_EQ(std::tie(loaded.Left, loaded.Top, loaded.SoftGain, loaded.SoftGainEnabled,
                       loaded.PlaybackVolume, loaded.NoiseLevel, loaded.InputDevice,
                       loaded.OutputDevice, loaded.InputDeviceId, loaded.OutputDeviceId,
                       loaded.LastProfile, loaded.StartInTray, loaded.StartProcessing,
                       loaded.Latency),
              std::tie(settings_.Left, settings_.Top, settings_.SoftGain, settings_.SoftGainEnabled,
                       settings_.PlaybackVolume, settings_.NoiseLevel, settings_.InputDevice,
                       settings_.OutputDevice, settings_.InputDeviceId, settings_.OutputDeviceId,
                       settings_.LastProfile, settings_.StartInTray, settings_.StartProcessing,
                       settings_.Latency));
}

TEST_F(SettingsFileTest, WritesTheKeysInTheirOrderAndNeverTheToneSwitch) {
    settings_.ToneMode = 2;
    Save();
    EXPECT_EQ(Text(), "[Window]\nTop=200\nLeft=300\n\n"
                      "[Audio]\nInputDevice=01  Headset\nOutputDevice=01  Headset\n"
                      "InputDeviceId=hw:CARD=Headset,DEV=0\nOutputDeviceId=hw:CARD=Headset,DEV=0\n"
                      "SoftGain=20\nSoftGainEnabled=0\nLastProfile=\nLatency=1\n\n"
                      "[Playback]\nVolume=0.5\nNoise=0.5\n\n"
                      "[Startup]\nStartInTray=0\nStartProcessing=0\n");
}

TEST_F(SettingsFileTest, AMissingFileKeepsTheDesignValues) {
    Load();
    EXPECT_FALSE(settings_.HasPosition);
    EXPECT_EQ(settings_.InputDevice, DesignValues().InputDevice);
    EXPECT_EQ(settings_.ToneMode, 0);
    EXPECT_FALSE(settings_.StartInTray || settings_.StartProcessing);
    EXPECT_EQ(settings_.Latency, 1); // low, unless the operator chose otherwise
}

TEST_F(SettingsFileTest, LatencyIsNormalOrLowAndAnythingElseKeepsTheSetting) {
    for (const auto& [before, text, expected] :
         {std::tuple{1, "0", 0}, {0, "1", 1}, {0, "7", 0}, {1, "low", 1}, {0, "", 0}}) {
        settings_.Latency = before;
        Write(std::string("[Audio]\nLatency=") + text + "\n");
        Load();
        EXPECT_EQ(settings_.Latency, expected) << text;
    }
}

TEST_F(SettingsFileTest, MovesTheWindowOnlyWhenLeftIsThere) {
    Write("[Window]\nTop=50\n");
    Load();
    EXPECT_FALSE(settings_.HasPosition);
    EXPECT_EQ(settings_.Top, 200);

    Write("[Window]\nTop=50\nLeft=-111\n");
    Load();
    EXPECT_FALSE(settings_.HasPosition);
    Write("[Window]\nLeft=0x10\n");
    Load();
    EXPECT_TRUE(settings_.HasPosition);
    EXPECT_EQ(settings_.Left, 16);
    EXPECT_EQ(settings_.Top, 200);
}

TEST_F(SettingsFileTest, KeepsSavedDevicesWhileNoneIsSelected) {
    Write("[Audio]\nInputDevice=05  Rig\nOutputDevice=06  Rig\nInputDeviceId=rig_in\n"
          "OutputDeviceId=rig_out\n");
    settings_.InputDevice.clear();
    settings_.OutputDevice.clear();
    Save();
    EXPECT_NE(Text().find("InputDevice=05  Rig\nOutputDevice=06  Rig\nInputDeviceId=rig_in\n"
                          "OutputDeviceId=rig_out\n"),
              std::string::npos)
        << Text();
    LoadSettings(File(), settings_);
    EXPECT_EQ(settings_.OutputDevice, "06  Rig");
    EXPECT_EQ(settings_.OutputDeviceId, "rig_out");
}

TEST_F(SettingsFileTest, KeepsTheToneSwitchAndEverythingUnknownAcrossASave) {
    const std::string extra =
        "; tuned for the FT-991\n[Debug]\ngeneratetone=1\n[Rig]\nCat=/dev/ttyUSB0\n";
    Write(extra + "[Startup]\nStartInTray=1\n; the end\n");
    Load();
    EXPECT_EQ(settings_.ToneMode, 1);
    EXPECT_TRUE(settings_.StartInTray);
    Save();
    EXPECT_EQ(Text().rfind(extra, 0), 0u) << Text();
    EXPECT_NE(Text().find("StartInTray=1\nStartProcessing=0\n; the end\n"), std::string::npos);
}

TEST_F(SettingsFileTest, ClampsSliderPositions) {
    Write("[Playback]\nVolume=7\nNoise=-1e300\n");
    Load();
    EXPECT_EQ(settings_.PlaybackVolume, 1.0f);
    EXPECT_EQ(settings_.NoiseLevel, 0.0f);
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
    EXPECT_EQ(settings_.SoftGain, -6);
    EXPECT_EQ(settings_.NoiseLevel, 0.5f);

    Write("[Playback]\nNoise=nan\n");
    EXPECT_THROW(Load(), EConvertError);
    EXPECT_EQ(settings_.NoiseLevel, 0.5f);
}

TEST_F(SettingsFileTest, AFailedSaveEndsAtTheKeyThatFailed) {
    Save();
    const std::string before = Text();
    settings_.LastProfile = "/home/op/" + std::string(300, 'p') + ".ini";
    settings_.SoftGain = 5;
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
