#include "app/StartOptionsDialog.h"

#include "app/Autostart.h"
#include "tests/app/AppEnvironment.h"

#include <QDir>
#include <QPushButton>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace sonari {
namespace {

using test::QPath;

// The startup options dialog against a private configuration folder.
class StartOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.OnError = [this](const QString& message) { errors.push_back(message); };
    }

    test::TPrivateConfig config;
    const test::TTempDir& dir = config.Dir;
    bool startInTray = true;
    bool startProcessing = false;
    TStartOptionsDialog dialog{startInTray, startProcessing};
    std::vector<QString> errors;
};

TEST_F(StartOptionsTest, ShowingReadsAutostartAndBothFlags) {
    EXPECT_EQ(dialog.CheckBox1->text(), "Start this program when the desktop session starts");
    SetAutoStart(true);
    dialog.show();
    EXPECT_TRUE(dialog.CheckBox1->isChecked());
    EXPECT_TRUE(dialog.CheckBox2->isChecked());
    EXPECT_FALSE(dialog.CheckBox3->isChecked());
    dialog.reject();
    SetAutoStart(false);
    dialog.show();
    EXPECT_FALSE(dialog.CheckBox1->isChecked());
}

TEST_F(StartOptionsTest, OkWritesTheAutostartEntryAndTheFlagsAndCancelNothing) {
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
}

TEST_F(StartOptionsTest, AFailedAutostartShowsTheErrorAndLeavesTheFlagsAndTheDialog) {
    QDir().mkpath(QPath(dir / "config"));
    std::ofstream(dir / "config" / "autostart") << "in the way";
    dialog.show();
    dialog.CheckBox1->setChecked(true);
    dialog.CheckBox2->setChecked(false);
    dialog.CheckBox3->setChecked(true);
    dialog.findChild<QPushButton*>("OkBtn")->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("Cannot write the autostart entry"));
    EXPECT_TRUE(startInTray);
    EXPECT_FALSE(startProcessing);
    EXPECT_TRUE(dialog.isVisible());
}

} // namespace
} // namespace sonari
