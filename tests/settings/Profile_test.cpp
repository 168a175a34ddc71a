#include "settings/Profile.h"

#include "settings/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace sonari {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

class ProfileTest : public ::testing::Test {
protected:
    std::string File(const std::string& name = "Contest.ini") const {
        return (dir_ / name).string();
    }
    // Loads `text` over the current profile and applies it to the equalizer.
    void Load(const std::string& text) {
        WriteFileBytes(File(), text);
        ignored_.clear();
        LoadProfile(File(), profile_, &ignored_);
        ApplyProfile(profile_, equalizer_);
    }

    TTempDir dir_;
    std::vector<TIgnoredValue> ignored_;
    TMicEqualizer equalizer_;
    TProfile profile_ = ProfileOf(equalizer_, 1.0f);
};

TEST_F(ProfileTest, SaveThenLoadReproducesEveryValue) {
    equalizer_.SetBands({-3.5f, 0.0f, 2.25f, 6.0f, -20.0f, 20.0f, 0.1f});
    equalizer_.SetCutoffLo(150);
    equalizer_.SetCutoffHi(3100);
    equalizer_.SetClipThreshold(12345678.9f);
    equalizer_.SetGateThreshold(0.123456789f * 3818826.0f);
    equalizer_.SetCompression(3.14159265f);
    equalizer_.SetClipperEnabled(false);
    equalizer_.SetEqualizerEnabled(false);
    SaveProfile(File(), ProfileOf(equalizer_, 0.8501f));

    TMicEqualizer loaded;
    TProfile profile = ProfileOf(loaded, 1.0f);
    LoadProfile(File(), profile);
    ApplyProfile(profile, loaded);
    EXPECT_EQ(loaded.ClipThreshold(), equalizer_.ClipThreshold());
    EXPECT_EQ(loaded.GateThreshold(), equalizer_.GateThreshold());
    EXPECT_EQ(loaded.Compression(), equalizer_.Compression());
    EXPECT_FALSE(loaded.ClipperEnabled() || loaded.EqualizerEnabled());
    EXPECT_EQ(profile.OutputGain, 0.8501f);
    EXPECT_EQ(loaded.Response(), equalizer_.Response());
}

TEST_F(ProfileTest, WritesDecimalsToFifteenDigitsInTheKeyOrder) {
    profile_.Bands = {1, 2, 3, 4, 5, 6, 0.1f};
    profile_.ClipperEnabled = true;
    profile_.OutputGain = 0.5f;
    SaveProfile(File(), profile_);
    EXPECT_EQ(ReadFileBytes(File()),
              "[Equalizer]\nBand0=1\nBand1=2\nBand2=3\nBand3=4\nBand4=5\nBand5=6\n"
              "Band6=0.100000001490116\nEnabled=1\n\n"
              "[Filter]\nCutoffLo=300\nCutoffHi=2700\n\n"
              "[Clipper]\nClipThreshold=67909392\nGateThreshold=3818826\nCompression=1\n"
              "Enabled=1\nOvershootControl=1\n\n"
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
    Load("[Filter]\nCutoffLo=7000\n"); // beyond half the rate: both edges stop there
    EXPECT_EQ(equalizer_.CutoffLo(), 6000);
    EXPECT_EQ(equalizer_.CutoffHi(), 6000);
}

TEST_F(ProfileTest, TheClipperSwitchesTheEqualizerOnAndAMissingFileBoth) {
    Load("[Clipper]\nEnabled=1\n[Equalizer]\nEnabled=0\n");
    EXPECT_TRUE(equalizer_.ClipperEnabled() && equalizer_.EqualizerEnabled());
    Load("[Clipper]\nEnabled=0\n[Equalizer]\nEnabled=0\n");
    EXPECT_FALSE(equalizer_.ClipperEnabled() || equalizer_.EqualizerEnabled());

    profile_.Bands[2] = 4.0f;
    profile_.OutputGain = 0.25f;
    LoadProfile(File("New.ini"), profile_);
    EXPECT_TRUE(profile_.ClipperEnabled && profile_.EqualizerEnabled);
    EXPECT_EQ(profile_.Bands[2], 4.0f);
    EXPECT_EQ(profile_.OutputGain, 0.25f);
}

// A profile from before the switch existed turns it on.
TEST_F(ProfileTest, TheOvershootControlIsOnWithoutItsKeyAndLoadedOtherwise) {
    equalizer_.SetOvershootControl(false);
    Load("[Clipper]\nEnabled=1\n");
    EXPECT_TRUE(profile_.OvershootControl);
    EXPECT_TRUE(equalizer_.OvershootControl());

    Load("[Clipper]\nEnabled=1\nOvershootControl=0\n");
    EXPECT_FALSE(equalizer_.OvershootControl());
    LoadProfile(File("Missing.ini"), profile_);
    EXPECT_TRUE(profile_.OvershootControl);
}

TEST_F(ProfileTest, DecimalsWithACommaKeepTheCurrentValuesAndTheGainIsClamped) {
    profile_.Bands[3] = 2.0f;
    profile_.OutputGain = 0.6f;
    Load("[Equalizer]\nBand3=6,5\n[Clipper]\nCompression=2,5\n[Output]\nGain=0,9\n");
    EXPECT_EQ(profile_.Bands[3], 2.0f);
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.OutputGain, 0.6f);
    Load("[Output]\nGain=1.5\n");
    EXPECT_EQ(profile_.OutputGain, 1.0f);
}

TEST_F(ProfileTest, SkipsValuesThatWouldHarmTheProcessor) {
    const float clip = profile_.ClipThreshold, gate = profile_.GateThreshold;
    Load("[Equalizer]\nBand0=nan\nBand1=inf\nBand2=1e30\nBand3=-120.5\nBand4=-120\nBand5=120\n"
         "[Filter]\nCutoffHi=high\n"
         "[Clipper]\nClipThreshold=0\nGateThreshold=-5\nCompression=1e39\nEnabled=yes\n"
         "[Output]\nGain=-inf\n");
    EXPECT_EQ(profile_.Bands, (std::array<float, 7>{0, 0, 0, 0, -120, 120, 0}));
    EXPECT_EQ(profile_.ClipThreshold, clip);
    EXPECT_EQ(profile_.GateThreshold, gate);
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.OutputGain, 1.0f);
    // Each one is named with its reason, in the order of the file's reading.
    const std::string nan = "not a number", beyond = "beyond +-120 dB";
    EXPECT_EQ(ignored_,
              (std::vector<TIgnoredValue>{
                  {"Equalizer", "Band0", "nan", nan},
                  {"Equalizer", "Band1", "inf", nan},
                  {"Equalizer", "Band2", "1e30", beyond},
                  {"Equalizer", "Band3", "-120.5", beyond},
                  {"Filter", "CutoffHi", "high", nan},
                  {"Clipper", "ClipThreshold", "0", "not positive"},
                  {"Clipper", "GateThreshold", "-5", "not positive"},
                  {"Clipper", "Compression", "1e39", "out of the range of a 32-bit float"},
                  {"Clipper", "Enabled", "yes", nan},
                  {"Output", "Gain", "-inf", nan},
              }));
    Load("[Clipper]\nCompression=1e-50\nGateThreshold=3e38\n");
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.GateThreshold, 3e38f);
    ASSERT_EQ(ignored_.size(), 1u);
    EXPECT_EQ(ignored_[0].Key, "Compression");
    for (float db : equalizer_.Response())
        ASSERT_TRUE(std::isfinite(db));
}

TEST_F(ProfileTest, AFailedSaveNamesTheFileAndAFailedLoadChangesNothing) {
    WriteFileBytes(dir_ / "plain", "x");
    const std::string nowhere = (dir_ / "plain" / "p.ini").string();
    try {
        SaveProfile(nowhere, profile_);
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.what(), "Unable to write to " + nowhere);
    }
    std::filesystem::create_directory(dir_ / "folder.ini");
    profile_.Bands[1] = 3.0f;
    EXPECT_THROW(LoadProfile(File("folder.ini"), profile_), EIniFileException);
    EXPECT_EQ(profile_.Bands[1], 3.0f);
}

} // namespace
} // namespace sonari
