#include "app/AboutDialog.h"

#include "SonariVersion.h"
#include "app/ShellUtils.h"
#include "tests/app/EditorTesting.h"
#include "tests/support/TestSupport.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>
#include <QWidget>

#include <vector>

#include <gtest/gtest.h>

namespace sonari {
namespace {

// Stands in for the desktop's URL handlers (QDesktopServices::setUrlHandler(scheme, this,
// "Open")).
class TUrlRecorder : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> Urls;
public slots:
    void Open(const QUrl& url) { Urls.push_back(url); }
};

// Name and version in blue over an aqua shadow, "Freeware" in red. From the build tree the link
// opens the build's copy of the source README; there is no mail link.
TEST(AboutDialog, NameVersionAndColoursAndTheLinkToTheReadmeInstalledWithTheProgram) {
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
    for (const QLabel* label : about.findChildren<QLabel*>())
        EXPECT_FALSE(label->text().contains("mailto") || label->toolTip().contains('@'))
            << label->objectName().toStdString();

    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "Open");
    about.WebLinkClick();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(recorder.Urls.size(), 1u);
    const QUrl url = recorder.Urls[0];
    ASSERT_TRUE(url.isLocalFile()) << url.toString().toStdString();
    EXPECT_TRUE(url.path().endsWith("/share/doc/sonari/README.md"));
    EXPECT_EQ(test::ReadFileBytes(url.toLocalFile().toStdString()),
              test::ReadFileBytes(test::SourceDir() / "README.md"));
}

// The mail subject is appended only when given and is percent-encoded; versions show only
// major and minor.
TEST(ShellUtils, MailLinksAreEncodedAndVersionsShowMajorAndMinor) {
    EXPECT_EQ(MailToUrl("sonari@example.org", ""), "mailto:sonari@example.org");
    EXPECT_EQ(MailToUrl("sonari@example.org", "Sonari v1.0 & more?"),
              "mailto:sonari@example.org?subject=Sonari%20v1.0%20%26%20more%3F");
    EXPECT_EQ(MailToUrl("a b?c@example.org", ""), "mailto:a%20b%3Fc@example.org");
    EXPECT_EQ(ShortVersion("1.0.0.10"), "1.0");
    EXPECT_EQ(ShortVersion("7"), "7.0");
    EXPECT_EQ(ShortVersion("x.y"), "0.0");
    EXPECT_EQ(VersionString(),
              QString("%1.%2").arg(SONARI_VERSION_MAJOR).arg(SONARI_VERSION_MINOR));
}

// Restoring a minimized or hidden window is the tray tests' (MainFormTray.Minimizing...).
TEST(ShellWindow, NoWindowIsNoError) { EXPECT_NO_FATAL_FAILURE(ForceForeground(nullptr)); }

} // namespace
} // namespace sonari

#include "AboutDialog_test.moc"
