#include "engine/AudioSetup.h"

#include "SND/WDM/WdmAudio.h"

#include "WavMaker.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace sonari {
namespace {

using test::TTempDir;

// Sets an environment variable for the life of the object.
class TEnvironment {
public:
    TEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~TEnvironment() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class AudioSetup : public ::testing::Test {
protected:
    AudioSetup() { std::filesystem::create_directories(folders_.UserWavDir); }

    TTempDir dir_;
    TSoundFolders folders_{(dir_ / "user").string() + "/", {(dir_ / "none").string() + "/"}};
    TEnvironment sim_{"SONARI_AUDIO", "sim"};
};

TEST_F(AudioSetup, SimulationOffersTheDemoMicrophoneAndTransmitter) {
    TProgramAudio program = CreateProgramAudio(folders_);
    EXPECT_TRUE(program.Warnings.empty());
    EXPECT_EQ(program.Transmitter, nullptr);
    const TWdmAudio audio(std::move(program.Platform));
    ASSERT_EQ(audio.DeviceCount(), 2);
    EXPECT_EQ(audio.DeviceName(0), "01  Demo microphone");
    EXPECT_EQ(audio.DeviceName(1), "02  Demo transmitter");
}

TEST_F(AudioSetup, UnusableDemoVoiceIsReportedAndTheBuiltInVoiceSpeaks) {
    test::WriteWav(folders_.UserWavDir + "DemoVoice.wav", 16000, {TSingleArray(100, 65536.0f)});
    const TProgramAudio program = CreateProgramAudio(folders_);
    ASSERT_EQ(program.Warnings.size(), 1u);
    EXPECT_NE(program.Warnings[0].find("Incorrect sampling rate in " + folders_.UserWavDir +
                                       "DemoVoice.wav"),
              std::string::npos);
}

} // namespace
} // namespace sonari
