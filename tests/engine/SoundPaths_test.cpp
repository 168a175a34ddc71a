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

TEST_F(SoundPaths, UserCopyComesFirst) {
    Put("user", "Qrm.wav");
    Put("build", "Qrm.wav");
    Put("installed", "Qrm.wav");
    EXPECT_EQ(FindSoundFile(folders_, "Qrm.wav"), In("user", "Qrm.wav"));
}

TEST_F(SoundPaths, SharedFoldersFollowInOrder) {
    Put("build", "Qrn.wav");
    Put("installed", "Qrn.wav");
    EXPECT_EQ(FindSoundFile(folders_, "Qrn.wav"), In("build", "Qrn.wav"));
    Put("installed", "Qrm.wav");
    EXPECT_EQ(FindSoundFile(folders_, "Qrm.wav"), In("installed", "Qrm.wav"));
}

TEST_F(SoundPaths, MissingFileNamesTheLastSharedFolder) {
    EXPECT_EQ(FindSoundFile(folders_, "Qrm.wav"), In("installed", "Qrm.wav"));
}

TEST_F(SoundPaths, AFolderOfThatNameIsNoFile) {
    std::filesystem::create_directories(dir_ / "user" / "Qrm.wav");
    Put("build", "Qrm.wav");
    EXPECT_EQ(FindSoundFile(folders_, "Qrm.wav"), In("build", "Qrm.wav"));
}

TEST(ProgramSoundFolders, UserFolderLiesInTheSettingsFolder) {
    const TSoundFolders folders = ProgramSoundFolders("/home/op/.config/Brisko/Products/sonari");
    EXPECT_EQ(folders.UserWavDir, "/home/op/.config/Brisko/Products/sonari/Wav/");
    ASSERT_EQ(folders.SharedWavDirs.size(), 3u);
    EXPECT_EQ(folders.SharedWavDirs[0], ProgramFolder() + "Wav/");
    // A package installs under /usr whatever prefix the build was configured with.
    EXPECT_EQ(folders.SharedWavDirs[1], ProgramFolder() + "../share/sonari/Wav/");
    EXPECT_EQ(folders.SharedWavDirs[2].substr(folders.SharedWavDirs[2].size() - 12),
              "/sonari/Wav/");
}

TEST(ProgramSoundFolders, TheBuildTreeShipsTheNoiseFilesBesideTheExecutables) {
    // The tests run from build/bin like the programs.
    const TSoundFolders folders = ProgramSoundFolders(TTempDir().Path().string());
    EXPECT_EQ(FindSoundFile(folders, "Qrm.wav"), ProgramFolder() + "Wav/Qrm.wav");
    EXPECT_TRUE(std::filesystem::is_regular_file(ProgramFolder() + "Wav/Qrn.wav"));
}

} // namespace
} // namespace sonari
