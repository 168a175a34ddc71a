#include "app/AboutDialog.h"

#include "app/ShellUtils.h"
#include "tests/app/EditorTesting.h"
#include "tests/app/ShellUtils_test.h"

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
    // The shadow lies behind and a few pixels right of and below the name.
    const QPoint offset = about.ShadowLabel->pos() - about.ProductLabel->pos();
    EXPECT_GT(offset.x(), 0);
    EXPECT_GT(offset.y(), 0);
    EXPECT_LE(offset.manhattanLength(), 8);
    const QObjectList& layers = about.ProductLabel->parent()->children();
    EXPECT_LT(layers.indexOf(about.ShadowLabel), layers.indexOf(about.ProductLabel));
    about.show();
    const auto colours = [](QWidget* label, QRgb colour) {
        return test::CountColour(label->grab().toImage(), colour);
    };
    EXPECT_GT(colours(about.ProductLabel, qRgb(0, 0, 255)), 0);
    EXPECT_GT(colours(about.ShadowLabel, qRgb(0, 255, 255)), 0);
    EXPECT_GT(colours(about.findChild<QLabel*>("FreewareLabel"), qRgb(255, 0, 0)), 0);
}

TEST(AboutDialog, LinksOpenMailWithTheTitleAsSubjectAndTheWebSite) {
    test::TUrlRecorder recorder;
    QDesktopServices::setUrlHandler("mailto", &recorder, "Open");
    QDesktopServices::setUrlHandler("https", &recorder, "Open");
    TAboutDialog about;
    about.AuthorLinkClick();
    about.WebLinkClick();
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(recorder.Urls.size(), 2u);
    EXPECT_EQ(recorder.Urls[0].toEncoded(),
              QByteArray("mailto:") + kContactAddress + "?subject=Sonari");
    EXPECT_EQ(recorder.Urls[1], QUrl(kWebAddress));
}

} // namespace
} // namespace sonari
