#include "engine/AudioSetup.h"

#include "SND/WDM/WdmAudio.h"

#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace sonari {
namespace {

using test::TTempDir;

class AudioSetup : public ::testing::Test {
protected:
    AudioSetup() { std::filesystem::create_directories(folders_.UserWavDir); }

    TTempDir dir_;
    TSoundFolders folders_{(dir_ / "user").string() + "/", {(dir_ / "none").string() + "/"}};
    test::TScopedEnv sim_{"SONARI_AUDIO", "sim"};
};

// The demo devices themselves are what sonari-cli devices lists.
TEST_F(AudioSetup, SimulationReportsAnUnusableDemoVoice) {
    const TProgramAudio program = CreateProgramAudio(folders_);
    EXPECT_TRUE(program.Warnings.empty());
    EXPECT_EQ(program.Transmitter, nullptr);
    // A voice at another rate: the built-in voice speaks instead.
    test::WriteWav(folders_.UserWavDir + "DemoVoice.wav", 16000, {TSingleArray(100, 65536.0f)});
    const TProgramAudio warned = CreateProgramAudio(folders_);
    ASSERT_EQ(warned.Warnings.size(), 1u);
    EXPECT_NE(warned.Warnings[0].find("Incorrect sampling rate in " + folders_.UserWavDir +
                                      "DemoVoice.wav"),
              std::string::npos);
}

} // namespace
} // namespace sonari
