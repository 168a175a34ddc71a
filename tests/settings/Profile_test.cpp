#include "settings/Profile.h"

#include "settings/IniFile.h"
#include "tests/settings/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace sonari {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

class ProfileTest : public ::testing::Test {
protected:
    ProfileTest() {
        host_.OnOutputGainChange = [this](float gainDb) { appliedGainsDb_.push_back(gainDb); };
    }
    std::string File(const std::string& name = "Contest.ini") const {
        return (dir_ / name).string();
    }
    void Load(const std::string& text) {
        WriteFileBytes(File(), text);
        LoadProfile(File(), host_);
    }

    TTempDir dir_;
    TMicEqualizer equalizer_;
    TProfileHost host_{equalizer_};
    std::vector<float> appliedGainsDb_;
};

TEST_F(ProfileTest, SaveThenLoadReproducesEveryValue) {
    equalizer_.Bands = {-3.5f, 0.0f, 2.25f, 6.0f, -20.0f, 20.0f, 0.1f};
    equalizer_.UpdateEqualizer();
    equalizer_.SetCutoffLo(150);
    equalizer_.SetCutoffHi(3100);
    equalizer_.ClipThreshold = 12345678.9f;
    equalizer_.GateThreshold = 0.123456789f * 3818826.0f;
    equalizer_.Compression = 3.14159265f;
    equalizer_.ClipperEnabled = false;
    equalizer_.EqualizerEnabled = false;
    host_.SetOutputGain(0.8501f);
    SaveProfile(File(), host_);
    EXPECT_EQ(host_.ProfileFileName, File());
    EXPECT_EQ(host_.StatusText, "  Profile: " + File());

    TMicEqualizer loaded;
    TProfileHost other(loaded);
    LoadProfile(File(), other);
    EXPECT_EQ(loaded.Bands, equalizer_.Bands);
    EXPECT_EQ(loaded.CutoffLo(), 150);
    EXPECT_EQ(loaded.CutoffHi(), 3100);
    EXPECT_EQ(loaded.ClipThreshold, equalizer_.ClipThreshold);
    EXPECT_EQ(loaded.GateThreshold, equalizer_.GateThreshold);
    EXPECT_EQ(loaded.Compression, equalizer_.Compression);
    EXPECT_FALSE(loaded.ClipperEnabled || other.ClipperChecked);
    EXPECT_FALSE(loaded.EqualizerEnabled || other.EqualizerChecked);
    EXPECT_EQ(other.OutputGain(), 0.8501f);
    EXPECT_EQ(loaded.Response(), equalizer_.Response());
}

TEST_F(ProfileTest, WritesDecimalsToFifteenDigitsInTheKeyOrder) {
    equalizer_.Bands = {1, 2, 3, 4, 5, 6, 0.1f};
    equalizer_.ClipperEnabled = true;
    host_.SetOutputGain(0.5f);
    SaveProfile(File(), host_);
    EXPECT_EQ(ReadFileBytes(File()),
              "[Equalizer]\nBand0=1\nBand1=2\nBand2=3\nBand3=4\nBand4=5\nBand5=6\n"
              "Band6=0.100000001490116\nEnabled=1\n\n"
              "[Filter]\nCutoffLo=300\nCutoffHi=2700\n\n"
              "[Clipper]\nClipThreshold=67909392\nGateThreshold=3818826\nCompression=1\n"
              "Enabled=1\n\n"
              "[Output]\nGain=0.5\n");
}

TEST_F(ProfileTest, AppliesTheLowerCutoffFirst) {
    Load("[Filter]\nCutoffLo=3000\n");
    EXPECT_EQ(equalizer_.CutoffLo(), 3000);
    EXPECT_EQ(equalizer_.CutoffHi(), 3000);
    Load("[filter]\ncutoffhi=200\ncutofflo=100\n");
    EXPECT_EQ(equalizer_.CutoffLo(), 100);
    EXPECT_EQ(equalizer_.CutoffHi(), 200);
    Load("[Filter]\nCutoffLo=0x12C\nCutoffHi=oops\n");
    EXPECT_EQ(equalizer_.CutoffLo(), 300);
    EXPECT_EQ(equalizer_.CutoffHi(), 300);
}

TEST_F(ProfileTest, TheClipperSwitchesTheEqualizerOn) {
    Load("[Clipper]\nEnabled=1\n[Equalizer]\nEnabled=0\n");
    EXPECT_TRUE(equalizer_.ClipperEnabled && equalizer_.EqualizerEnabled);
    EXPECT_TRUE(host_.ClipperChecked && host_.EqualizerChecked);
    Load("[Clipper]\nEnabled=0\n[Equalizer]\nEnabled=0\n");
    EXPECT_FALSE(equalizer_.ClipperEnabled || equalizer_.EqualizerEnabled);
    EXPECT_FALSE(host_.ClipperChecked || host_.EqualizerChecked);
}

TEST_F(ProfileTest, AMissingFileSwitchesBothStagesOnAndBecomesCurrent) {
    equalizer_.Bands[2] = 4.0f;
    equalizer_.ClipperEnabled = equalizer_.EqualizerEnabled = false;
    host_.SetOutputGain(0.25f);
    host_.Modified = true;
    LoadProfile(File("New.ini"), host_);
    EXPECT_TRUE(equalizer_.ClipperEnabled && equalizer_.EqualizerEnabled);
    EXPECT_EQ(equalizer_.Bands[2], 4.0f);
    EXPECT_EQ(host_.OutputGain(), 0.25f);
    EXPECT_EQ(host_.ProfileFileName, File("New.ini"));
    EXPECT_EQ(host_.StatusText, "  Profile: " + File("New.ini"));
    EXPECT_FALSE(host_.Modified);
}

TEST_F(ProfileTest, SetsTheOutputGainAndThenRunsItsHandler) {
    host_.SetOutputGain(0.75f);
    Load("[Equalizer]\nBand0=1\n");
    EXPECT_EQ(host_.OutputGain(), 0.75f);
    ASSERT_EQ(appliedGainsDb_.size(), 1u);
    EXPECT_EQ(appliedGainsDb_[0], -20.0f);
    Load("[Output]\nGain=1.5\n");
    EXPECT_EQ(appliedGainsDb_.back(), 0.0f);
    Load("[Output]\nGain=0.25\n");
    EXPECT_EQ(appliedGainsDb_.back(), -60.0f);
}

TEST_F(ProfileTest, DecimalsWithACommaKeepTheCurrentValues) {
    equalizer_.Bands[3] = 2.0f;
    host_.SetOutputGain(0.6f);
    Load("[Equalizer]\nBand3=6,5\n[Clipper]\nCompression=2,5\n[Output]\nGain=0,9\n");
    EXPECT_EQ(equalizer_.Bands[3], 2.0f);
    EXPECT_EQ(equalizer_.Compression, 1.0f);
    EXPECT_EQ(host_.OutputGain(), 0.6f);
}

TEST_F(ProfileTest, SkipsValuesThatWouldHarmTheProcessor) {
    const float clip = equalizer_.ClipThreshold, gate = equalizer_.GateThreshold;
    Load("[Equalizer]\nBand0=nan\nBand1=inf\nBand2=1e30\nBand3=-120.5\nBand4=-120\nBand5=120\n"
         "[Clipper]\nClipThreshold=0\nGateThreshold=-5\nCompression=1e39\n"
         "[Output]\nGain=-inf\n");
    EXPECT_EQ(equalizer_.Bands, (std::array<float, 7>{0, 0, 0, 0, -120, 120, 0}));
    EXPECT_EQ(equalizer_.ClipThreshold, clip);
    EXPECT_EQ(equalizer_.GateThreshold, gate);
    EXPECT_EQ(equalizer_.Compression, 1.0f);
    EXPECT_EQ(host_.OutputGain(), 1.0f);
    Load("[Clipper]\nCompression=1e-50\nGateThreshold=3e38\n");
    EXPECT_EQ(equalizer_.Compression, 1.0f);
    EXPECT_EQ(equalizer_.GateThreshold, 3e38f);
    for (float db : equalizer_.Response())
        ASSERT_TRUE(std::isfinite(db));
}

TEST_F(ProfileTest, SavingKeepsWhatElseTheFileHolds) {
    WriteFileBytes(File(),
                   "; Contest profile, K1ABC\n[Notes]\nRig=IC-7300\n[Equalizer]\nBand0=9\n");
    SaveProfile(File(), host_);
    const std::string text = ReadFileBytes(File());
    EXPECT_EQ(
        text.rfind("; Contest profile, K1ABC\n[Notes]\nRig=IC-7300\n[Equalizer]\nBand0=0\n", 0),
        0u);
}

TEST_F(ProfileTest, AFailedSaveOrLoadLeavesTheCurrentProfile) {
    host_.ProfileFileName = "/old.ini";
    host_.StatusText = "  Modified profile";
    host_.Modified = true;
    WriteFileBytes(dir_ / "plain", "x");
    const std::string nowhere = (dir_ / "plain" / "p.ini").string();
    try {
        SaveProfile(nowhere, host_);
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.what(), "Unable to write to " + nowhere);
    }
    {
        test::TFileSizeLimit fullDisk(60);
        EXPECT_THROW(SaveProfile(File(), host_), EIniFileException);
    }
    std::filesystem::create_directory(dir_ / "folder.ini");
    EXPECT_THROW(LoadProfile(File("folder.ini"), host_), EIniFileException);
    EXPECT_EQ(host_.ProfileFileName, "/old.ini");
    EXPECT_EQ(host_.StatusText, "  Modified profile");
    EXPECT_TRUE(host_.Modified);
}

} // namespace
} // namespace sonari
