#include "DspFixture.h"

#include "SND/WDM/WdmAudio.h"
#include "SND/WDM/WdmErrors.h"
#include "engine/AudioSetup.h"
#include "engine/SoundFiles.h"
#include "engine/SoundPaths.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>

namespace sonari {
namespace {

using test::Peak;
using test::ReadWav;
using test::WriteWav;

constexpr float kToneAmplitude = 5e8f;

// Microphone (device 0) and speaker (device 1) at 12000 samples/s only, so every device buffer
// is one block; the microphone hums a steady 1 kHz tone.
class DspFiles : public test::TDspFixture {
protected:
    DspFiles() {
        TSimPin mic = SimPin(false, 2, 16, 16, 12000, 12000);
        mic.Source = [](int64_t first, int32_t, TDataBufferF& block) {
            for (size_t f = 0; f < block[0].size(); ++f)
                for (TSingleArray& channel : block)
                    channel[f] = kToneAmplitude *
                                 static_cast<float>(std::sin(2 * M_PI * (first + f) / 12.0));
        };
        WithDevices({mic}, {SimPin(true, 2, 16, 16, 12000, 12000)});
        std::filesystem::create_directories(Folders.SharedWavDirs[0]);
    }

    // Records until the engine reports a complete file, serves `late` blocks more, then stops
    // as the window does once the block handler has returned.
    void Record(int late = 0) {
        Dsp->SetMode(dmRecord);
        Dsp->StartRecording();
        const int completions = View.Completions;
        for (int blocks = 0; View.Completions == completions && blocks < 100; ++blocks)
            RunBlocks(1, 12000);
        RunBlocks(late, 12000);
        Dsp->Stop();
    }

    std::string SharedFile(const char* name) const { return Folders.SharedWavDirs[0] + name; }
};

// A complete recording holds the microphone's channel 0 at its width (the fades are
// RecordingFile's), and blocks that come before the window stops join it. Only a complete one
// replaces the last: not a start that fails, nor one stopped before the 5-second mark.
TEST_F(DspFiles, RecordingHoldsFiveSecondsAndOnlyACompleteOneReplacesTheLast) {
    Record();
    EXPECT_EQ(View.Completions, 1);
    EXPECT_TRUE(View.Errors.empty());
    const test::TWavContents voice = ReadWav(UserFile("Voice.wav"));
    EXPECT_EQ(voice.Rate, 12000u);
    EXPECT_EQ(voice.BytesPerSample, 2u); // the microphone's 16 bits
    ASSERT_EQ(voice.Channels.size(), 1u);
    ASSERT_EQ(voice.Channels[0].size(), 61440u);
    EXPECT_GT(Peak(voice.Channels[0], 1024, 58 * 1024), 0.99f * kToneAmplitude);
    // Progress rises with the file and passes the bar's maximum on the last block.
    ASSERT_EQ(View.Progress.size(), 60u);
    EXPECT_FLOAT_EQ(View.Progress.back(), 61440.0f / 60000);
    EXPECT_TRUE(Dsp->LoadVoice());
    EXPECT_EQ(Dsp->Voice().size(), 61440u);
    const auto files = [&] {
        return std::distance(std::filesystem::directory_iterator(Folders.UserWavDir), {});
    };
    EXPECT_EQ(files(), 1); // no temporary file left

    Record(2);
    EXPECT_EQ(View.Completions, 4);
    const std::string before = test::ReadFileBytes(UserFile("Voice.wav"));
    EXPECT_EQ(ReadWav(UserFile("Voice.wav")).Channels[0].size(), 62u * 1024);
    Sim.Faults(0, 0).IntersectionError = EINVAL;
    EXPECT_THROW(Dsp->StartRecording(), EWdmAudioError);
    EXPECT_FALSE(Dsp->Running());
    Sim.Faults(0, 0).IntersectionError = 0;
    Dsp->StartRecording();
    RunBlocks(12, 12000);
    Dsp->Stop();
    EXPECT_EQ(test::ReadFileBytes(UserFile("Voice.wav")), before);
    EXPECT_EQ(files(), 1);
}

TEST_F(DspFiles, OutWavIsWrittenInModeFiveOnly) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetEqualizerEnabled(false); });
    Dsp->SetToneMode(1);
    Dsp->SetMode(dmPlay);
    Dsp->StartOutput();
    RunBlocks(3, 12000);
    Dsp->Stop();
    EXPECT_FALSE(std::filesystem::exists(UserFile("Out.wav")));
    EXPECT_TRUE(View.Progress.empty());

    Dsp->SetMode(dmPlayToFile);
    Dsp->StartOutputToFile();
    RunBlocks(5, 12000);
    const int32_t handled = Dsp->BlockCount();
    Dsp->Stop();
    EXPECT_TRUE(View.Errors.empty());
    const test::TWavContents out = ReadWav(UserFile("Out.wav"));
    EXPECT_EQ(out.Rate, 12000u);
    EXPECT_EQ(out.BytesPerSample, 2u);
    EXPECT_EQ(out.Channels[0].size(), static_cast<size_t>(handled) * 1024);
    EXPECT_GE(handled, 3);
}

TEST_F(DspFiles, LoadsNoiseAndVoiceWithTheUsersCopiesFirstAndNamesWhatIsWrong) {
    WriteWav(SharedFile("Qrn.wav"), 12000, {TSingleArray(3000, 65536.0f)});
    // channel 0 of the voice, less its mean
    WriteWav(UserFile("Voice.wav"), 12000, {{65536.0f, 3 * 65536.0f}, {7.0f, 7.0f}});
    Dsp->LoadSoundFiles();
    ASSERT_EQ(View.Errors.size(), 1u);
    EXPECT_NE(View.Errors[0].find("Qrm.wav"), std::string::npos) << View.Errors[0];
    EXPECT_FALSE(Dsp->HasNoise()); // the remaining loads of the step were skipped
    EXPECT_EQ(Dsp->Voice(), (TSingleArray{-65536.0f, 65536.0f}));

    WriteWav(SharedFile("Qrm.wav"), 12000, {{100.0f * 65536, -300.0f * 65536, 200.0f * 65536}});
    WriteWav(UserFile("Qrn.wav"), 8000, {TSingleArray(5000, 65536.0f)}); // the user's copy wins
    Dsp->LoadSoundFiles();
    EXPECT_EQ(View.Errors.back(), WrongRateMessage(UserFile("Qrn.wav")));
    EXPECT_FALSE(Dsp->HasNoise());

    WriteWav(UserFile("Qrn.wav"), 12000, {TSingleArray(5000, 65536.0f)});
    Dsp->SetNoiseSnrDb(-5.0f);
    Dsp->LoadSoundFiles();
    EXPECT_EQ(View.Errors.size(), 2u);
    EXPECT_TRUE(Dsp->HasNoise());
    EXPECT_EQ(Dsp->NoiseSnrDb(), 10.0f);
}

// The program's folders: the user's in the settings folder, then beside the program, then
// installed. A user's copy comes first, then the shared folders in order; a missing file is
// named in the last.
TEST(SoundPaths, ProgramFoldersAndTheOrderInWhichFilesAreFoundInThem) {
    const TSoundFolders program = ProgramSoundFolders("/home/op/.config/Brisko/Products/sonari");
    EXPECT_EQ(program.UserWavDir, "/home/op/.config/Brisko/Products/sonari/Wav/");
    ASSERT_EQ(program.SharedWavDirs.size(), 3u);
    EXPECT_EQ(program.SharedWavDirs[0], ProgramFolder() + "Wav/");
    // A package installs under /usr whatever prefix the build was configured with.
    EXPECT_EQ(program.SharedWavDirs[1], ProgramFolder() + "../share/sonari/Wav/");
    EXPECT_TRUE(program.SharedWavDirs[2].ends_with("/share/sonari/Wav/"));
    // The tests run from build/bin, where the build puts the shipped files.
    EXPECT_EQ(FindSoundFile(program, "Qrn.wav"), ProgramFolder() + "Wav/Qrn.wav");

    const test::TTempDir dir;
    const TSoundFolders folders{(dir / "user").string() + "/",
                                {(dir / "build").string(), (dir / "installed").string() + "/"}};
    // the path of `name` in `folder`, which exists
    const auto in = [&](const char* folder, const char* name) {
        std::filesystem::create_directories(dir / folder);
        return (dir / folder / name).string();
    };
    for (const char* folder : {"build", "installed"})
        for (const char* name : {"Qrm.wav", "Qrn.wav"})
            test::WriteFileBytes(in(folder, name), "x");
    test::WriteFileBytes(in("user", "Qrm.wav"), "x");
    std::filesystem::create_directories(in("user", "Qrn.wav")); // a folder is no file
    test::WriteFileBytes(in("installed", "DemoVoice.wav"), "x");
    EXPECT_EQ(FindSoundFile(folders, "Qrm.wav"), in("user", "Qrm.wav"));
    EXPECT_EQ(FindSoundFile(folders, "Qrn.wav"), in("build", "Qrn.wav"));
    EXPECT_EQ(FindSoundFile(folders, "DemoVoice.wav"), in("installed", "DemoVoice.wav"));
    // a missing file names the last shared folder
    EXPECT_EQ(FindSoundFile(folders, "Voice.wav"), in("installed", "Voice.wav"));
}

// The demo devices themselves are what sonari-cli devices lists.
TEST(AudioSetup, SimulationReportsAnUnusableDemoVoice) {
    const test::TTempDir dir;
    const test::TScopedEnv sim("SONARI_AUDIO", "sim");
    const TSoundFolders folders{(dir / "user").string() + "/", {(dir / "none").string() + "/"}};
    const TProgramAudio program = CreateProgramAudio(folders);
    EXPECT_TRUE(program.Warnings.empty());
    EXPECT_EQ(program.Transmitter, nullptr);
    // A voice at another rate: the built-in voice speaks instead.
    std::filesystem::create_directories(folders.UserWavDir);
    test::WriteWav(folders.UserWavDir + "DemoVoice.wav", 16000, {TSingleArray(100, 65536.0f)});
    const TProgramAudio warned = CreateProgramAudio(folders);
    ASSERT_EQ(warned.Warnings.size(), 1u);
    EXPECT_NE(warned.Warnings[0].find("Incorrect sampling rate in " + folders.UserWavDir +
                                      "DemoVoice.wav"),
              std::string::npos);
}

} // namespace
} // namespace sonari
