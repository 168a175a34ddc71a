#include "settings/IniFile.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace sonari {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

// Makes writes fail for any user, root included, as on a full disk: no file may grow beyond
// `bytes` while the object lives.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

size_t EntriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(IniFileReading, RefusesFilesItCannotReadWhole) {
    TTempDir dir;
    fs::create_directory(dir / "folder.ini");
    const std::string huge = "[A]\n;" + std::string(TIniFile::kMaxFileBytes, 'x') + "\n";
    WriteFileBytes(dir / "huge.ini", huge);
    for (const fs::path& name : {dir / "folder.ini", dir / "huge.ini"})
        EXPECT_EQ(test::MessageOf<EIniFileException>([&] { TIniFile ini(name.string()); }),
                  "Unable to read " + name.string());
    EXPECT_EQ(ReadFileBytes(dir / "huge.ini"), huge);
}

TEST(IniFileWriting, KeepsPermissionsAndSymbolicLinks) {
    TTempDir dir;
    WriteFileBytes(dir / "real.ini", "[A]\nx=1\n");
    fs::permissions(dir / "real.ini",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(dir / "real.ini", dir / "link.ini");
    TIniFile ini((dir / "link.ini").string());
    ini.WriteInteger("A", "x", 2);
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadFileBytes(dir / "real.ini"), "[A]\nx=2\n");
    EXPECT_EQ(EntriesIn(dir.Path()), 2u) << "a temporary file was left behind";
    EXPECT_EQ(fs::status(dir / "real.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(IniFileWriting, AFailedWriteNamesTheFileAndLeavesTheOldOneIntact) {
    TTempDir dir;
    const std::string old = "; keep me\n[Window]\nTop=1\n";
    WriteFileBytes(dir / "a.ini", old);
    TIniFile ini((dir / "a.ini").string());
    {
        TFileSizeLimit fullDisk(old.size() + 4);
        EXPECT_EQ(test::MessageOf<EIniFileException>(
                      [&] { ini.WriteString("Window", "Top", "123456789"); }),
                  "Unable to write to " + (dir / "a.ini").string());
    }
    EXPECT_EQ(ReadFileBytes(dir / "a.ini"), old);
    EXPECT_EQ(EntriesIn(dir.Path()), 1u) << "a temporary file was left behind";
    EXPECT_EQ(ini.ReadInteger("Window", "Top", 0), 1);
    EXPECT_EQ(test::MessageOf<EIniFileException>(
                  [&] { ini.WriteString("Audio", "LastProfile", "a\nb"); }),
              "Unable to write to " + (dir / "a.ini").string());
    EXPECT_EQ(ReadFileBytes(dir / "a.ini"), old);
}

} // namespace
} // namespace sonari
