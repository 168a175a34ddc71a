#include "settings/AppSettings.h"

#include "settings/IniFile.h"
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

// A missing file keeps the design values; the save writes each key in its place. Loaded over the
// design values and saved again, a file where every value differs comes back unchanged.
TEST_F(SettingsFileTest, WritesTheKeysInTheirOrderNeverTheToneSwitchAndReadsEachBack) {
    Load();
    EXPECT_FALSE(settings_.HasPosition);
    EXPECT_EQ(settings_.ToneMode, 0);
    EXPECT_EQ(settings_.Latency, 1); // low, unless the operator chose otherwise
    settings_.ToneMode = 2;
    Save();
    EXPECT_EQ(Text(), "[Window]\nTop=200\nLeft=300\n\n"
                      "[Audio]\nInputDevice=01  Headset\nOutputDevice=01  Headset\n"
                      "InputDeviceId=\nOutputDeviceId=\nSoftGain=20\nSoftGainEnabled="
                      "0\nLastProfile=\nLatency=1\n\n"
                      "[Playback]\nVolume=0.5\nNoise=0.5\n\n"
                      "[Startup]\nStartInTray=0\nStartProcessing=0\n");

    const std::string every =
        "[Window]\nTop=1200\nLeft=-40\n\n"
        "[Audio]\nInputDevice=03  Line\nOutputDevice=02  USB Audio CODEC\n"
        "InputDeviceId=alsa_input.usb-Burr-Brown_CODEC-00.analog-stereo\n"
        "OutputDeviceId=hw:CARD=CODEC,DEV=0\nSoftGain=-17\nSoftGainEnabled=1\n"
        "LastProfile=/home/op/.config/Brisko/Products/sonari/Prof/Contest.ini\nLatency=0\n\n"
        "[Playback]\nVolume=0.100000001490116\nNoise=0.8125\n\n"
        "[Startup]\nStartInTray=1\nStartProcessing=1\n";
    Write(every);
    settings_ = DesignValues();
    Load();
    EXPECT_TRUE(settings_.HasPosition);
    Save();
    EXPECT_EQ(Text(), every);
}

// Latency is normal or low, anything else keeps the setting; the window moves only when Left is
// there.
TEST_F(SettingsFileTest, LatencyIsNormalOrLowAndTheWindowMovesOnlyWhenLeftIsThere) {
    for (const auto& [before, text, latency, moved, left] :
         {std::tuple{1, "[Audio]\nLatency=0\n[Window]\nTop=50\n", 0, false, 300},
          {0, "[Window]\nTop=50\nLeft=-111\n[Audio]\nLatency=1\n", 1, false, 300},
          {0, "[Audio]\nLatency=7\n[Window]\nLeft=0x10\n", 0, true, 16},
          {1, "[Audio]\nLatency=low\n", 1, false, 300},
          {0, "[Audio]\nLatency=\n", 0, false, 300}}) {
        settings_ = DesignValues();
        settings_.Latency = before;
        Write(text);
        Load();
        EXPECT_EQ(
            std::tuple(settings_.Latency, settings_.HasPosition, settings_.Left, settings_.Top),
            std::tuple(latency, moved, left, 200))
            << text;
    }
}

// Devices saved earlier stay while none is selected, and so does what the program does not know.
TEST_F(SettingsFileTest, KeepsSavedDevicesTheToneSwitchAndEverythingUnknownAcrossASave) {
    const std::string extra =
        "; tuned for the FT-991\n[Debug]\ngeneratetone=1\n[Rig]\n"
        "Cat=/dev/ttyUSB0\n[Audio]\nInputDevice=05  Rig\n"
        "OutputDevice=06  Rig\nInputDeviceId=rig_in\nOutputDeviceId=rig_out\n";
    Write(extra + "[Startup]\nStartInTray=2\n; the end\n");
    Load();
    EXPECT_EQ(settings_.ToneMode, 1);
    EXPECT_TRUE(settings_.StartInTray);
    settings_.InputDevice.clear();
    settings_.OutputDevice.clear();
    Save();
    EXPECT_EQ(Text().rfind(extra, 0), 0u) << Text();
    EXPECT_NE(Text().find("StartInTray=1\nStartProcessing=0\n; the end\n"), std::string::npos);
}

// Slider positions are clamped; one that is no number ends the load there.
TEST_F(SettingsFileTest, ClampsSliderPositionsAndABadOneEndsTheLoadThere) {
    Write("[Playback]\nVolume=7\nNoise=-1e300\n");
    Load();
    EXPECT_EQ(settings_.PlaybackVolume, 1.0f);
    EXPECT_EQ(settings_.NoiseLevel, 0.0f);

    settings_.NoiseLevel = 0.5f;
    Write("[Audio]\nSoftGain=-6\nLastProfile=/p.ini\n[Playback]\nVolume=0,7\nNoise=0.25\n"
          "[Startup]\nStartProcessing=1\n");
    EXPECT_EQ(test::MessageOf<EConvertError>([&] { Load(); }),
              "'0,7' is not a valid floating point value");
    EXPECT_EQ(settings_.SoftGain, -6);
    EXPECT_EQ(settings_.NoiseLevel, 0.5f);
}

// The disk's own failures are IniFileWriting's.
TEST_F(SettingsFileTest, AFailedSaveEndsAtTheKeyThatFailed) {
    settings_.LastProfile = "/home/op/Prof\n[Audio]\nLatency=0.ini";
    EXPECT_THROW(Save(), EIniFileException);
    EXPECT_NE(Text().find("SoftGain=20\n"), std::string::npos) << Text();
    EXPECT_EQ(Text().find("LastProfile"), std::string::npos);
    EXPECT_EQ(Text().find("Latency"), std::string::npos);
}

} // namespace
} // namespace sonari
