#include "app/ShellUtils.h"

#include "SonariVersion.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace sonari {
namespace {

TEST(ShellMail, TheSubjectIsAppendedOnlyWhenGivenAndIsPercentEncoded) {
    EXPECT_EQ(MailToUrl("sonari@example.org", ""), "mailto:sonari@example.org");
    EXPECT_EQ(MailToUrl("sonari@example.org", "Sonari v1.0 & more?"),
              "mailto:sonari@example.org?subject=Sonari%20v1.0%20%26%20more%3F");
    EXPECT_EQ(MailToUrl("a b?c@example.org", ""), "mailto:a%20b%3Fc@example.org");
}

TEST(ShellVersion, OnlyMajorAndMinorAreShown) {
    EXPECT_EQ(ShortVersion("1.0.0.10"), "1.0");
    EXPECT_EQ(ShortVersion("7"), "7.0");
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
