#include "engine/SoundPaths.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace sonari {
namespace {

using test::TTempDir;

class SoundPaths : public ::testing::Test {
protected:
    SoundPaths() {
        for (const char* folder : {"user", "build", "installed"})
            std::filesystem::create_directories(dir_ / folder);
        folders_.UserWavDir = (dir_ / "user").string() + "/";
        folders_.SharedWavDirs = {(dir_ / "build").string(), (dir_ / "installed").string() + "/"};
    }
    void Put(const char* folder, const char* name) {
        test::WriteFileBytes(dir_ / folder / name, "x");
    }
    std::string In(const char* folder, const char* name) const {
        return (dir_ / folder / name).string();
    }

    TTempDir dir_;
    TSoundFolders folders_;
};

TEST_F(SoundPaths, UserCopyComesFirstThenTheSharedFoldersInOrderAndMissingFilesTheLast) {
    for (const char* folder : {"build", "installed"})
        for (const char* name : {"Qrm.wav", "Qrn.wav"})
            Put(folder, name);
    Put("user", "Qrm.wav");
    std::filesystem::create_directories(dir_ / "user" / "Qrn.wav"); // a folder is no file
    Put("installed", "DemoVoice.wav");
    EXPECT_EQ(FindSoundFile(folders_, "Qrm.wav"), In("user", "Qrm.wav"));
    EXPECT_EQ(FindSoundFile(folders_, "Qrn.wav"), In("build", "Qrn.wav"));
    EXPECT_EQ(FindSoundFile(folders_, "DemoVoice.wav"), In("installed", "DemoVoice.wav"));
    // a missing file names the last shared folder
    EXPECT_EQ(FindSoundFile(folders_, "Voice.wav"), In("installed", "Voice.wav"));
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

} // namespace
} // namespace sonari
