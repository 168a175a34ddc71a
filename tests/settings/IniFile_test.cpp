#include "settings/IniFile.h"

#include "tests/settings/FileSizeLimit.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <functional>
#include <locale>

namespace sonari {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TFileSizeLimit;
using test::TTempDir;
using test::WriteFileBytes;

std::string MessageOf(const std::function<void()>& action) {
    return test::MessageOf<EIniFileException>(action);
}

size_t EntriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(IniFileReading, TypedReadersFallBackToTheDefaultOnGarbage) {
    TTempDir dir;
    WriteFileBytes(dir / "a.ini", "[V]\nhex=0x20\nbad=12abc\nyes=2\nword=true\n"
                                  "dot=0.25\ncomma=0,25\nnan=nan\n");
    TIniFile ini((dir / "a.ini").string());
    EXPECT_TRUE(ini.ValueExists("V", "bad"));
    EXPECT_EQ(ini.ReadInteger("V", "hex", 0), 32);
    EXPECT_EQ(ini.ReadInteger("V", "bad", 7), 7);
    EXPECT_TRUE(ini.ReadBool("V", "yes", false));
    EXPECT_FALSE(ini.ReadBool("V", "word", false));
    EXPECT_EQ(ini.ReadFloat("V", "dot", 1.0), 0.25);
    for (const char* key : {"comma", "nan", "missing"})
        EXPECT_EQ(ini.ReadFloat("V", key, 1.5), 1.5) << key;
}

TEST(IniFileReading, RefusesFilesItCannotReadWhole) {
    TTempDir dir;
    fs::create_directory(dir / "folder.ini");
    const std::string huge = "[A]\n;" + std::string(TIniFile::kMaxFileBytes, 'x') + "\n";
    WriteFileBytes(dir / "huge.ini", huge);
    for (const fs::path& name : {dir / "folder.ini", dir / "huge.ini"})
        EXPECT_EQ(MessageOf([&] { TIniFile ini(name.string()); }),
                  "Unable to read " + name.string());
    EXPECT_EQ(ReadFileBytes(dir / "huge.ini"), huge);
}

TEST(IniFileWriting, EveryWriteReachesTheFileAtOnce) {
    TTempDir dir;
    const fs::path name = dir / "a.ini";
    TIniFile ini(name.string());
    ini.WriteInteger("Window", "Top", -20);
    EXPECT_EQ(ReadFileBytes(name), "[Window]\nTop=-20\n");
    ini.WriteString("Audio", "LastProfile", " spaced name ");
    EXPECT_EQ(ReadFileBytes(name), "[Window]\nTop=-20\n\n[Audio]\nLastProfile=\" spaced name \"\n");
    EXPECT_EQ(TIniFile(name.string()).ReadString("Audio", "LastProfile", ""), " spaced name ");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
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
        EXPECT_EQ(MessageOf([&] { ini.WriteString("Window", "Top", "123456789"); }),
                  "Unable to write to " + (dir / "a.ini").string());
    }
    EXPECT_EQ(ReadFileBytes(dir / "a.ini"), old);
    EXPECT_EQ(EntriesIn(dir.Path()), 1u) << "a temporary file was left behind";
    EXPECT_EQ(ini.ReadInteger("Window", "Top", 0), 1);
    EXPECT_EQ(MessageOf([&] { ini.WriteString("Audio", "LastProfile", "a\nb"); }),
              "Unable to write to " + (dir / "a.ini").string());
    EXPECT_EQ(ReadFileBytes(dir / "a.ini"), old);
}

TEST(IniFileWriting, WritesDecimalPointsUnderACommaLocale) {
    TTempDir dir;
    const std::locale previous = std::locale::global(std::locale::classic());
    const std::string previousC = std::setlocale(LC_ALL, nullptr);
    // The system's German locale where installed, else a C++ locale with ','.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        std::locale::global(std::locale("de_DE.UTF-8"));
    } else {
        struct TComma : std::numpunct<char> {
            char do_decimal_point() const override { return ','; }
        };
        std::locale::global(std::locale(std::locale::classic(), new TComma));
    }
    {
        TIniFile ini((dir / "a.ini").string());
        ini.WriteFloat("Playback", "Volume", 0.75);
        ini.WriteFloat("Clipper", "ClipThreshold", 67909392.5);
        EXPECT_EQ(TIniFile((dir / "a.ini").string()).ReadFloat("Playback", "Volume", 0), 0.75);
    }
    std::setlocale(LC_ALL, previousC.c_str());
    std::locale::global(previous);
    EXPECT_EQ(ReadFileBytes(dir / "a.ini"),
              "[Playback]\nVolume=0.75\n\n[Clipper]\nClipThreshold=67909392.5\n");
}

} // namespace
} // namespace sonari
