#include "app/AboutDialog.h"

#include "app/ShellUtils.h"
#include "tests/app/EditorTesting.h"
#include "tests/app/ShellUtils_test.h"
#include "tests/support/TestSupport.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

#include <gtest/gtest.h>

namespace sonari {
namespace {

TEST(AboutDialog, NameAndVersionInBlueOverAnAquaShadowAndFreewareInRed) {
    TAboutDialog about;
    EXPECT_EQ(about.windowTitle(), "About Sonari");
    EXPECT_EQ(about.ProductLabel->text(), "Sonari v." + VersionString());
    EXPECT_EQ(about.ShadowLabel->text(), about.ProductLabel->text());
    about.show();
    const auto colours = [](QWidget* label, QRgb colour) {
        return test::CountColour(label->grab().toImage(), colour);
    };
    EXPECT_GT(colours(about.ProductLabel, qRgb(0, 0, 255)), 0);
    EXPECT_GT(colours(about.ShadowLabel, qRgb(0, 255, 255)), 0);
    EXPECT_GT(colours(about.findChild<QLabel*>("FreewareLabel"), qRgb(255, 0, 0)), 0);
}

// From the build tree the README is the build's copy of the source one; there is no mail link.
TEST(AboutDialog, TheLinkOpensTheReadmeInstalledWithTheProgram) {
    test::TUrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "Open");
    TAboutDialog about;
    about.WebLinkClick();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(recorder.Urls.size(), 1u);
    const QUrl url = recorder.Urls[0];
    ASSERT_TRUE(url.isLocalFile()) << url.toString().toStdString();
    EXPECT_TRUE(url.path().endsWith("/share/doc/sonari/README.md"));
    EXPECT_EQ(test::ReadFileBytes(url.toLocalFile().toStdString()),
              test::ReadFileBytes(test::SourceDir() / "README.md"));
    for (const QLabel* label : about.findChildren<QLabel*>())
        EXPECT_FALSE(label->text().contains("mailto") || label->toolTip().contains('@'))
            << label->objectName().toStdString();
}

} // namespace
} // namespace sonari
