#include "settings/Profile.h"

#include "settings/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <tuple>

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

// Loaded into the equalizer and saved from it, a file where every value differs from the
// defaults comes back unchanged.
TEST_F(ProfileTest, WritesDecimalsToFifteenDigitsInTheKeyOrderAndReadsEachBack) {
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

    const std::string every =
        "[Equalizer]\nBand0=-3.5\nBand1=0\nBand2=2.25\nBand3=6\nBand4=-20\nBand5=20\n"
        "Band6=0.100000001490116\nEnabled=0\n\n"
        "[Filter]\nCutoffLo=150\nCutoffHi=3100\n\n"
        "[Clipper]\nClipThreshold=12345678\nGateThreshold=471404.5\nCompression=3.140625\n"
        "Enabled=0\nOvershootControl=0\n\n"
        "[Output]\nGain=0.8125\n";
    Load(every);
    SaveProfile(File("Again.ini"), ProfileOf(equalizer_, profile_.OutputGain));
    EXPECT_EQ(ReadFileBytes(File("Again.ini")), every);
}

// The lower cut-off is applied first; beyond half the rate both edges stop there. The clipper
// switches the equalizer on; a missing switch is on, as in a profile from before the overshoot
// control existed; a missing file turns all three on and changes nothing else.
TEST_F(ProfileTest, AppliesTheLowerCutoffFirstAndMissingSwitchesAreOn) {
    for (const auto& [text, lo, hi, clipper, eq, overshoot] :
         {std::tuple{"[Filter]\nCutoffLo=3000\n[Clipper]\nOvershootControl=0\n", 3000, 3000, true,
                     true, false},
          {"[filter]\ncutoffhi=200\ncutofflo=100\n", 100, 200, true, true, true},
          {"[Filter]\nCutoffLo=0x12C\nCutoffHi=oops\n[Clipper]\nEnabled=0\n[Equalizer]\nEnabled="
           "0\n",
           300, 300, false, false, true},
          {"[Filter]\nCutoffLo=7000\n[Clipper]\nEnabled=1\n[Equalizer]\nEnabled=0\n", 6000, 6000,
           true, true, true}}) {
        Load(text);
        EXPECT_EQ(std::tuple(equalizer_.CutoffLo(), equalizer_.CutoffHi(),
                             equalizer_.ClipperEnabled(), equalizer_.EqualizerEnabled(),
                             equalizer_.OvershootControl()),
                  std::tuple(lo, hi, clipper, eq, overshoot))
            << text;
    }
    profile_.Bands[2] = 4.0f;
    profile_.OutputGain = 0.25f;
    LoadProfile(File("New.ini"), profile_);
    EXPECT_TRUE(profile_.ClipperEnabled && profile_.EqualizerEnabled && profile_.OvershootControl);
    EXPECT_EQ(profile_.Bands[2], 4.0f);
    EXPECT_EQ(profile_.OutputGain, 0.25f);
}

// Skipped values keep the current ones; the gain is clamped.
TEST_F(ProfileTest, SkipsValuesThatWouldHarmTheProcessor) {
    const float clip = profile_.ClipThreshold, gate = profile_.GateThreshold;
    profile_.Bands[1] = 2.0f;
    profile_.OutputGain = 0.6f;
    Load("[Equalizer]\nBand0=nan\nBand1=6,5\nBand2=1e30\nBand3=-120.5\nBand4=-120\nBand5=120\n"
         "[Filter]\nCutoffHi=high\n"
         "[Clipper]\nClipThreshold=0\nGateThreshold=-5\nCompression=1e39\nEnabled=yes\n"
         "[Output]\nGain=-inf\n");
    EXPECT_EQ(profile_.Bands, (std::array<float, 7>{0, 2, 0, 0, -120, 120, 0}));
    EXPECT_EQ(profile_.ClipThreshold, clip);
    EXPECT_EQ(profile_.GateThreshold, gate);
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.OutputGain, 0.6f);
    // Each one is named with its reason, in the order of the file's reading.
    const std::string nan = "not a number", beyond = "beyond +-120 dB";
    EXPECT_EQ(ignored_,
              (std::vector<TIgnoredValue>{
                  {"Equalizer", "Band0", "nan", nan},
                  {"Equalizer", "Band1", "6,5", nan},
                  {"Equalizer", "Band2", "1e30", beyond},
                  {"Equalizer", "Band3", "-120.5", beyond},
                  {"Filter", "CutoffHi", "high", nan},
                  {"Clipper", "ClipThreshold", "0", "not positive"},
                  {"Clipper", "GateThreshold", "-5", "not positive"},
                  {"Clipper", "Compression", "1e39", "out of the range of a 32-bit float"},
                  {"Clipper", "Enabled", "yes", nan},
                  {"Output", "Gain", "-inf", nan},
              }));
    Load("[Clipper]\nCompression=1e-50\nGateThreshold=3e38\n[Output]\nGain=1.5\n");
    EXPECT_EQ(profile_.Compression, 1.0f);
    EXPECT_EQ(profile_.GateThreshold, 3e38f);
    EXPECT_EQ(profile_.OutputGain, 1.0f);
    ASSERT_EQ(ignored_.size(), 1u);
    EXPECT_EQ(ignored_[0].Key, "Compression");
    for (float db : equalizer_.Response())
        ASSERT_TRUE(std::isfinite(db));
}

// The message is the file's (IniFileWriting); a failed load changes nothing.
TEST_F(ProfileTest, AFailedSaveOrLoadThrowsAndAFailedLoadChangesNothing) {
    WriteFileBytes(dir_ / "plain", "x");
    EXPECT_THROW(SaveProfile((dir_ / "plain" / "p.ini").string(), profile_), EIniFileException);
    std::filesystem::create_directory(dir_ / "folder.ini");
    profile_.Bands[1] = 3.0f;
    EXPECT_THROW(LoadProfile(File("folder.ini"), profile_), EIniFileException);
    EXPECT_EQ(profile_.Bands[1], 3.0f);
}

} // namespace
} // namespace sonari
