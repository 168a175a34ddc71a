#include "settings/AppSettings.h"

#include "settings/IniFile.h"
#include "tests/settings/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

// The main window's design values.
TAppSettings DesignValues() {
    TAppSettings s;
    s.Left = 300;
    s.Top = 200;
    s.SoftGain = 20;
    s.PlaybackVolume = 0.5f;
    s.InputDevice = s.OutputDevice = "01  Headset";
    return s;
}

class SettingsFileTest : public ::testing::Test {
protected:
    std::string File(const char* name = "sonari.ini") const { return (dir_ / name).string(); }
    std::string Text(const char* name = "sonari.ini") const {
        return test::ReadFileBytes(File(name));
    }
    void Load(const std::string& text) {
        test::WriteFileBytes(File(), text);
        LoadSettings(File(), settings_);
    }
    void Save() { SaveSettings(File(), settings_); }

    test::TTempDir dir_;
    TAppSettings settings_ = DesignValues();
};

TEST_F(SettingsFileTest, SaveThenLoadReproducesEverySetting) {
    // Every saved value differs from its design value, so a key that is not read back shows
    // in the second file.
    settings_.Left = -40;
    settings_.Top = 1200;
    settings_.InputDevice = "03  Line";
    settings_.OutputDevice = "02  USB Audio CODEC";
    settings_.SoftGain = -17;
    settings_.PlaybackVolume = 0.1f;
    settings_.NoiseLevel = 0.8125f;
    settings_.LastProfile = "/home/op/.config/Brisko/Products/sonari/Prof/Contest.ini";
    settings_.SoftGainEnabled = settings_.StartInTray = settings_.StartProcessing = true;
    Save();
    TAppSettings loaded = DesignValues();
    LoadSettings(File(), loaded);
    EXPECT_TRUE(loaded.HasPosition);
    SaveSettings(File("again.ini"), loaded);
    EXPECT_EQ(Text("again.ini"), Text());
}

TEST_F(SettingsFileTest, WritesTheKeysInTheirOrderAndNeverTheToneSwitch) {
    settings_.ToneMode = 2;
    Save();
    EXPECT_EQ(Text(), "[Window]\nTop=200\nLeft=300\n\n"
                      "[Audio]\nInputDevice=01  Headset\nOutputDevice=01  Headset\n"
                      "SoftGain=20\nSoftGainEnabled=0\nLastProfile=\n\n"
                      "[Playback]\nVolume=0.5\nNoise=0.5\n\n"
                      "[Startup]\nStartInTray=0\nStartProcessing=0\n");
}

TEST_F(SettingsFileTest, AMissingFileKeepsTheDesignValuesAndOnlyLeftMovesTheWindow) {
    LoadSettings(File(), settings_);
    EXPECT_FALSE(settings_.HasPosition);
    EXPECT_EQ(settings_.SoftGain, 20);
    EXPECT_EQ(settings_.PlaybackVolume, 0.5f);
    EXPECT_EQ(settings_.InputDevice, "01  Headset");
    EXPECT_FALSE(settings_.StartInTray || settings_.StartProcessing);

    Load("[Window]\nTop=50\n");
    EXPECT_FALSE(settings_.HasPosition);
    EXPECT_EQ(settings_.Top, 200);
    Load("[Window]\nTop=50\nLeft=-111\n");
    EXPECT_FALSE(settings_.HasPosition);
    Load("[Window]\nLeft=0x10\n");
    EXPECT_TRUE(settings_.HasPosition);
    EXPECT_EQ(settings_.Left, 16);
    EXPECT_EQ(settings_.Top, 200);
}

TEST_F(SettingsFileTest, KeepsSavedDeviceNamesWhileNoneIsSelected) {
    test::WriteFileBytes(File(), "[Audio]\nInputDevice=05  Rig\nOutputDevice=06  Rig\n");
    settings_.InputDevice.clear();
    settings_.OutputDevice.clear();
    Save();
    EXPECT_NE(Text().find("InputDevice=05  Rig\nOutputDevice=06  Rig\n"), std::string::npos);
    LoadSettings(File(), settings_);
    EXPECT_EQ(settings_.OutputDevice, "06  Rig");
}

TEST_F(SettingsFileTest, KeepsTheToneSwitchAndEverythingUnknownAcrossASave) {
    const std::string extra =
        "; tuned for the FT-991\n[Debug]\ngeneratetone=1\n[Rig]\nCat=/dev/ttyUSB0\n";
    Load(extra + "[Startup]\nStartInTray=1\n; the end\n");
    EXPECT_EQ(settings_.ToneMode, 1);
    EXPECT_TRUE(settings_.StartInTray);
    Save();
    EXPECT_EQ(Text().rfind(extra, 0), 0u) << Text();
    EXPECT_NE(Text().find("StartInTray=1\nStartProcessing=0\n; the end\n"), std::string::npos);
}

TEST_F(SettingsFileTest, ClampsSliderPositionsAndABadOneEndsTheLoadThere) {
    Load("[Playback]\nVolume=7\nNoise=-1e300\n");
    EXPECT_EQ(settings_.PlaybackVolume, 1.0f);
    EXPECT_EQ(settings_.NoiseLevel, 0.0f);

    settings_ = DesignValues();
    EXPECT_EQ(test::MessageOf<EConvertError>([&] {
                  Load("[Audio]\nSoftGain=-6\nLastProfile=/p.ini\n[Playback]\nVolume=0,7\n"
                       "Noise=0.25\n[Startup]\nStartProcessing=1\n");
              }),
              "'0,7' is not a valid floating point value");
    EXPECT_EQ(settings_.SoftGain, -6);
    EXPECT_EQ(settings_.PlaybackVolume, 0.5f);
    EXPECT_EQ(settings_.NoiseLevel, 0.5f);
    EXPECT_EQ(settings_.LastProfile, "");
    EXPECT_FALSE(settings_.StartProcessing);
    EXPECT_THROW(Load("[Playback]\nNoise=nan\n"), EConvertError);
    EXPECT_EQ(settings_.NoiseLevel, 0.5f);
}

TEST_F(SettingsFileTest, AFailedSaveEndsAtTheKeyThatFailed) {
    Save();
    const size_t before = Text().size();
    settings_.LastProfile = "/home/op/" + std::string(300, 'p') + ".ini";
    settings_.SoftGain = 5;
    {
        // Room for the changed gain, not for the long profile path.
        test::TFileSizeLimit fullDisk(before + 100);
        EXPECT_THROW(Save(), EIniFileException);
    }
    EXPECT_NE(Text().find("SoftGain=5\n"), std::string::npos);
    EXPECT_NE(Text().find("LastProfile=\n"), std::string::npos);
}

} // namespace
} // namespace sonari
