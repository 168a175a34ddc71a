#include "app/Autostart.h"

#include "SND/Exceptions.h"
#include "tests/app/AppEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fstream>

namespace sonari {
namespace {

using test::QPath;

class AutostartTest : public ::testing::Test {
protected:
    QString EntryOfRunningProgram() const {
        return QPath(dir / "config" / "autostart") + "/" +
               QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".desktop";
    }
    static QString Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    static void Write(const QString& path, const char* text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    test::TPrivateConfig config;
    const test::TTempDir& dir = config.Dir;
    test::TScopedEnv& env = config.Env;
};

TEST_F(AutostartTest, EnablingWritesAnEntryForTheRunningProgramAndDisablingRemovesIt) {
    EXPECT_FALSE(IsAutoStartEnabled());
    SetAutoStart(true);
    const QString entry = EntryOfRunningProgram();
    EXPECT_EQ(AutostartEntryPath(QCoreApplication::applicationFilePath()), entry);
    const QString text = Read(entry);
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=" + QCoreApplication::applicationFilePath() + "\n"));
    EXPECT_TRUE(text.contains("\nX-GNOME-Autostart-enabled=true\n"));
    EXPECT_TRUE(IsAutoStartEnabled());

    SetAutoStart(false);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(IsAutoStartEnabled());
    EXPECT_NO_THROW(SetAutoStart(false)) << "a missing entry is no error";
}

TEST_F(AutostartTest, WithoutAUsableConfigHomeTheEntryGoesBelowHome) {
    env.Unset("XDG_CONFIG_HOME");
    EXPECT_EQ(AutostartEntryPath("/usr/bin/sonari"),
              QPath(dir / "home" / ".config" / "autostart" / "sonari.desktop"));
    env.Set("XDG_CONFIG_HOME", "relative/config"); // relative paths are to be ignored
    EXPECT_EQ(AutostartEntryPath("/opt/Tx.bin"),
              QPath(dir / "home" / ".config" / "autostart" / "Tx.desktop"));
}

// The desktop's own tools reading and launching a quoted entry is the end-to-end test's; '%'
// (which the launcher cannot find a program through) and the string escapes are checked here.
TEST_F(AutostartTest, ExecIsQuotedOnlyWhenNeededAndPercentIsDoubled) {
    EXPECT_EQ(DesktopExecArgument("/usr/bin/sonari"), "/usr/bin/sonari");
    EXPECT_EQ(DesktopExecArgument("/opt/100%/tx"), "/opt/100%%/tx");
    EXPECT_EQ(DesktopExecArgument("/a\"b\\c`d%e"), "\"/a\\\\\"b\\\\\\\\c\\\\`d%%e\"");
}

TEST_F(AutostartTest, AnEntryOfAnotherCopyCountsAndEnablingPointsItHere) {
    const QString entry = EntryOfRunningProgram();
    Write(entry, "[Desktop Entry]\nType=Application\nExec=/elsewhere/copy/program\n");
    EXPECT_TRUE(IsAutoStartEnabled());
    SetAutoStart(true);
    EXPECT_TRUE(Read(entry).contains("\nExec=" + QCoreApplication::applicationFilePath() + "\n"));
    EXPECT_FALSE(Read(entry).contains("/elsewhere/"));
}

TEST_F(AutostartTest, HiddenOrEmptyOrMisplacedExecMeansDisabled) {
    const QString entry = EntryOfRunningProgram();
    for (const auto& [text, enabled] :
         {std::pair{"[Desktop Entry]\nExec=/usr/bin/sonari\nHidden=true\n", false},
          {"[Desktop Entry]\nExec=\nHidden=false\n", false},
          {"[Desktop Entry]\nName=x\n[Desktop Action New]\nExec=/usr/bin/sonari\n", false},
          {"# comment\n[Desktop Entry]\n  Exec = /usr/bin/sonari  \nHidden=false\n", true}}) {
        Write(entry, text);
        EXPECT_EQ(IsAutoStartEnabled(), enabled) << text;
    }
}

TEST_F(AutostartTest, AFolderThatCannotBeMadeGivesAClearErrorAndWritesNothing) {
    // A file where the autostart folder should be: fails even for root.
    QDir().mkpath(QPath(dir / "config"));
    std::ofstream(dir / "config" / "autostart") << "in the way";
    try {
        SetAutoStart(true);
        FAIL() << "no error raised";
    } catch (const Exception& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("Cannot write the autostart entry"), std::string::npos);
        EXPECT_NE(message.find((dir / "config" / "autostart").string()), std::string::npos);
    }
    EXPECT_FALSE(IsAutoStartEnabled());
    EXPECT_EQ(test::ReadFileBytes(dir / "config" / "autostart"), "in the way");
}

} // namespace
} // namespace sonari
