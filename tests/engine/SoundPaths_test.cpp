#include "engine/AudioSetup.h"
#include "engine/SoundPaths.h"

#include "SND/WDM/WdmAudio.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace sonari {
namespace {

TEST(SoundPaths, UserCopyComesFirstThenTheSharedFoldersInOrderAndMissingFilesTheLast) {
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

TEST(ProgramSoundFolders, UserFolderInTheSettingsFolderThenBesideTheProgramThenInstalled) {
    const TSoundFolders folders = ProgramSoundFolders("/home/op/.config/Brisko/Products/sonari");
    EXPECT_EQ(folders.UserWavDir, "/home/op/.config/Brisko/Products/sonari/Wav/");
    ASSERT_EQ(folders.SharedWavDirs.size(), 3u);
    EXPECT_EQ(folders.SharedWavDirs[0], ProgramFolder() + "Wav/");
    // A package installs under /usr whatever prefix the build was configured with.
    EXPECT_EQ(folders.SharedWavDirs[1], ProgramFolder() + "../share/sonari/Wav/");
    EXPECT_TRUE(folders.SharedWavDirs[2].ends_with("/share/sonari/Wav/"));
    // The tests run from build/bin, where the build puts the shipped files.
    EXPECT_EQ(FindSoundFile(folders, "Qrn.wav"), ProgramFolder() + "Wav/Qrn.wav");
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
