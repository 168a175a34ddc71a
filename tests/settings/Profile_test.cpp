#include "settings/Profile.h"

#include "settings/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace sonari {
namespace {

using test::ReadFileBytes;

class ProfileTest : public ::testing::Test {
protected:
    std::string File(const std::string& name = "Contest.ini") const {
        return (dir_ / name).string();
    }
    // Loads `text` over the current profile and applies it to the equalizer.
    void Load(const std::string& text) {
        test::WriteFileBytes(File(), text);
        LoadProfile(File(), profile_);
        ApplyProfile(profile_, equalizer_);
    }

    test::TTempDir dir_;
    TMicEqualizer equalizer_;
    TProfile profile_ = ProfileOf(equalizer_, 1.0f);
};

TEST_F(ProfileTest, SaveThenLoadReproducesEveryValue) {
    // Every value differs from the defaults, so one that is not read back or not applied
    // shows in the second file.
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
    SaveProfile(File("again.ini"), ProfileOf(loaded, profile.OutputGain));
    EXPECT_EQ(ReadFileBytes(File("again.ini")), ReadFileBytes(File()));
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
              "Enabled=1\n\n"
              "[Output]\nGain=0.5\n");
}

TEST_F(ProfileTest, AppliesTheLowerCutoffFirst) {
    const struct {
        const char* text;
        int32_t lo, hi;
    } cases[] = {
        {"[Filter]\nCutoffLo=3000\n", 3000, 3000},
        {"[filter]\ncutoffhi=200\ncutofflo=100\n", 100, 200},
        {"[Filter]\nCutoffLo=0x12C\nCutoffHi=oops\n", 300, 300},
        {"[Filter]\nCutoffLo=7000\n", 6000, 6000}, // beyond half the rate: both stop there
    };
    for (const auto& c : cases) {
        Load(c.text);
        EXPECT_EQ(equalizer_.CutoffLo(), c.lo) << c.text;
        EXPECT_EQ(equalizer_.CutoffHi(), c.hi) << c.text;
    }
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

TEST_F(ProfileTest, SkipsValuesThatWouldHarmTheProcessorAndKeepsTheCurrentOnes) {
    const float clip = profile_.ClipThreshold, gate = profile_.GateThreshold;
    profile_.Bands[6] = 2.0f;
    profile_.OutputGain = 0.6f;
    Load("[Equalizer]\nBand0=nan\nBand1=inf\nBand2=1e30\nBand3=-120.5\nBand4=-120\nBand5=120\n"
         "Band6=6,5\n[Clipper]\nClipThreshold=0\nGateThreshold=-5\nCompression=2,5\n"
         "[Output]\nGain=-inf\n");
    EXPECT_EQ(profile_.Bands, (std::array<float, 7>{0, 0, 0, 0, -120, 120, 2}));
    EXPECT_EQ(profile_.ClipThreshold, clip);
    EXPECT_EQ(profile_.GateThreshold, gate);
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.OutputGain, 0.6f);
    Load("[Clipper]\nCompression=1e39\nGateThreshold=3e38\n[Output]\nGain=1.5\n");
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.GateThreshold, 3e38f);
    EXPECT_EQ(profile_.OutputGain, 1.0f);
    Load("[Clipper]\nCompression=1e-50\n[Output]\nGain=0,9\n");
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.OutputGain, 1.0f);
    for (float db : equalizer_.Response())
        ASSERT_TRUE(std::isfinite(db));
}

TEST_F(ProfileTest, SavingKeepsWhatElseTheFileHolds) {
    test::WriteFileBytes(File(),
                         "; Contest profile, K1ABC\n[Notes]\nRig=IC-7300\n[Equalizer]\nBand0=9\n");
    SaveProfile(File(), profile_);
    EXPECT_EQ(ReadFileBytes(File()).rfind(
                  "; Contest profile, K1ABC\n[Notes]\nRig=IC-7300\n[Equalizer]\nBand0=0\n", 0),
              0u);
}

TEST_F(ProfileTest, AFailedSaveRaisesAndAFailedLoadChangesNothing) {
    test::WriteFileBytes(dir_ / "plain", "x");
    EXPECT_THROW(SaveProfile((dir_ / "plain" / "p.ini").string(), profile_), EIniFileException);
    std::filesystem::create_directory(dir_ / "folder.ini");
    profile_.Bands[1] = 3.0f;
    EXPECT_THROW(LoadProfile(File("folder.ini"), profile_), EIniFileException);
    EXPECT_EQ(profile_.Bands[1], 3.0f);
}

} // namespace
} // namespace sonari
