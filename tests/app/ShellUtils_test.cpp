#include "app/ShellUtils.h"

#include "SonariVersion.h"
#include "tests/app/ShellUtils_test.h"

#include <QDesktopServices>
#include <QObject>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace sonari {
namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* scheme : {"mailto", "https"})
            QDesktopServices::setUrlHandler(scheme, &catcher, "Open");
    }
    void TearDown() override {
        for (const char* scheme : {"mailto", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    test::TUrlRecorder catcher;
};

TEST(ShellMail, TheSubjectIsAppendedOnlyWhenGivenAndIsPercentEncoded) {
    EXPECT_EQ(MailToUrl("sonari@example.org", ""), "mailto:sonari@example.org");
    EXPECT_EQ(MailToUrl("sonari@example.org", "Sonari"),
              "mailto:sonari@example.org?subject=Sonari");
    EXPECT_EQ(MailToUrl("sonari@example.org", "Sonari v1.0 & more?"),
              "mailto:sonari@example.org?subject=Sonari%20v1.0%20%26%20more%3F");
    EXPECT_EQ(MailToUrl("a b?c@example.org", ""), "mailto:a%20b%3Fc@example.org");
}

TEST_F(ShellTest, SendMailAndOpenUrlReachTheDesktopHandlers) {
    SendMail("sonari@example.org", "");
    SendMail("sonari@example.org", "Sonari & QRM");
    OpenUrl("https://sonari.example.org/");
    ASSERT_EQ(catcher.Urls.size(), 3u);
    EXPECT_EQ(catcher.Urls[0].toEncoded(), "mailto:sonari@example.org");
    EXPECT_EQ(catcher.Urls[1].toEncoded(), "mailto:sonari@example.org?subject=Sonari%20%26%20QRM");
    EXPECT_EQ(catcher.Urls[1].query(QUrl::FullyDecoded), "subject=Sonari & QRM");
    EXPECT_EQ(catcher.Urls[2], QUrl("https://sonari.example.org/"));
}

TEST(ShellVersion, OnlyMajorAndMinorAreShown) {
    EXPECT_EQ(ShortVersion("1.0.0.10"), "1.0");
    EXPECT_EQ(ShortVersion("2.13.4"), "2.13");
    EXPECT_EQ(ShortVersion("7"), "7.0");
    EXPECT_EQ(ShortVersion(""), "0.0");
    EXPECT_EQ(ShortVersion("x.y"), "0.0");
    EXPECT_EQ(VersionString(),
              QString("%1.%2").arg(SONARI_VERSION_MAJOR).arg(SONARI_VERSION_MINOR));
}

TEST(ShellWindow, ForceForegroundRestoresAMinimizedWindow) {
    QWidget window;
    window.resize(100, 80);
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    ForceForeground(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    QWidget hidden;
    ForceForeground(&hidden);
    EXPECT_TRUE(hidden.isVisible());
    ForceForeground(nullptr);
}

} // namespace
} // namespace sonari
