#include "app/Autostart.h"

#include "app/StartOptionsDialog.h"
#include "tests/app/AppEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace sonari {
namespace {

using test::QPath;

// The autostart entry and the startup options dialog against a private configuration folder.
class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.OnError = [this](const QString& message) { errors.push_back(message); };
    }
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
    bool startInTray = true;
    bool startProcessing = false;
    TStartOptionsDialog dialog{startInTray, startProcessing};
    std::vector<QString> errors;
};

// Cancel changes nothing; OK writes an entry for the running program and both flags, which the
// dialog reads again when it next shows; disabling removes the entry.
TEST_F(AutostartTest, TheDialogWritesTheEntryAndTheFlagsOnOkOnlyAndReadsThemWhenShown) {
    EXPECT_EQ(dialog.CheckBox1->text(), "Start this program when the desktop session starts");
    for (const char* button : {"CancelBtn", "OkBtn"}) {
        dialog.show();
        dialog.CheckBox1->setChecked(true);
        dialog.CheckBox2->setChecked(false);
        dialog.CheckBox3->setChecked(true);
        const bool ok = std::string(button) == "OkBtn";
        dialog.findChild<QPushButton*>(button)->click();
        EXPECT_EQ(IsAutoStartEnabled(), ok);
        EXPECT_EQ(startInTray, !ok);
        EXPECT_EQ(startProcessing, ok);
        EXPECT_FALSE(dialog.isVisible());
    }
    EXPECT_TRUE(errors.empty());
    const QString entry = EntryOfRunningProgram();
    EXPECT_EQ(AutostartEntryPath(QCoreApplication::applicationFilePath()), entry);
    // The Exec line is the entry table's, a valid entry the end-to-end test's.
    EXPECT_TRUE(Read(entry).contains("\nX-GNOME-Autostart-enabled=true\n"));

    startInTray = true;
    startProcessing = false;
    dialog.show();
    EXPECT_TRUE(dialog.CheckBox1->isChecked());
    EXPECT_TRUE(dialog.CheckBox2->isChecked());
    EXPECT_FALSE(dialog.CheckBox3->isChecked());
    dialog.reject();
    SetAutoStart(false);
    EXPECT_FALSE(QFile::exists(entry));
    dialog.show();
    EXPECT_FALSE(dialog.CheckBox1->isChecked());
    EXPECT_NO_THROW(SetAutoStart(false)) << "a missing entry is no error";
}

// Without a usable configuration home the entry goes below the home. The desktop's own tools
// reading and launching a quoted entry is the end-to-end test's; '%' (which the launcher cannot
// find a program through) and the string escapes are checked here.
TEST_F(AutostartTest, WithoutAConfigHomeTheEntryGoesBelowHomeAndExecIsQuotedOnlyWhenNeeded) {
    env.Unset("XDG_CONFIG_HOME");
    EXPECT_EQ(AutostartEntryPath("/usr/bin/sonari"),
              QPath(dir / "home" / ".config" / "autostart" / "sonari.desktop"));
    env.Set("XDG_CONFIG_HOME", "relative/config"); // relative paths are to be ignored
    EXPECT_EQ(AutostartEntryPath("/opt/Tx.bin"),
              QPath(dir / "home" / ".config" / "autostart" / "Tx.desktop"));
    EXPECT_EQ(DesktopExecArgument("/usr/bin/sonari"), "/usr/bin/sonari");
    EXPECT_EQ(DesktopExecArgument("/opt/100%/tx"), "/opt/100%%/tx");
    EXPECT_EQ(DesktopExecArgument("/a\"b\\c`d%e"), "\"/a\\\\\"b\\\\\\\\c\\\\`d%%e\"");
}

// The last entry is another copy's: it counts, and enabling points it here.
TEST_F(AutostartTest, HiddenOrEmptyOrMisplacedExecMeansDisabledAndAnotherCopysEntryCounts) {
    const QString entry = EntryOfRunningProgram();
    for (const auto& [text, enabled] :
         {std::pair{"[Desktop Entry]\nExec=/usr/bin/sonari\nHidden=true\n", false},
          {"[Desktop Entry]\nExec=\nHidden=false\n", false},
          {"[Desktop Entry]\nName=x\n[Desktop Action New]\nExec=/usr/bin/sonari\n", false},
          {"# comment\n[Desktop Entry]\n  Exec = /elsewhere/copy  \nHidden=false\n", true}}) {
        Write(entry, text);
        EXPECT_EQ(IsAutoStartEnabled(), enabled) << text;
    }
    SetAutoStart(true);
    EXPECT_TRUE(Read(entry).contains("\nExec=" + QCoreApplication::applicationFilePath() + "\n"));
    EXPECT_FALSE(Read(entry).contains("/elsewhere/"));
}

// A file where the autostart folder should be (fails even for root): the dialog shows a clear
// error that names it and stays open, and neither the entry nor the flags change.
TEST_F(AutostartTest, AFolderThatCannotBeMadeIsShownAndChangesNothing) {
    QDir().mkpath(QPath(dir / "config"));
    std::ofstream(dir / "config" / "autostart") << "in the way";
    dialog.show();
    dialog.CheckBox1->setChecked(true);
    dialog.CheckBox2->setChecked(false);
    dialog.CheckBox3->setChecked(true);
    dialog.findChild<QPushButton*>("OkBtn")->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("Cannot write the autostart entry"));
    EXPECT_TRUE(errors[0].contains(QPath(dir / "config" / "autostart")));
    EXPECT_TRUE(startInTray);
    EXPECT_FALSE(startProcessing);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(IsAutoStartEnabled());
    EXPECT_EQ(test::ReadFileBytes(dir / "config" / "autostart"), "in the way");
}

} // namespace
} // namespace sonari
