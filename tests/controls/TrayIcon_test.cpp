#include "controls/TrayIcon.h"

#include <QApplication>
#include <QPixmap>

#include <gtest/gtest.h>

namespace sonari {
namespace {

QIcon SolidIcon(Qt::GlobalColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

TEST(TrayIconToolTip, LongTextIsCutTo62Characters) {
    TTrayIcon tray;
    const QString seventy(70, QChar('x'));
    tray.SetToolTip(seventy);
    EXPECT_EQ(tray.ToolTip(), seventy.left(62));
    const QString exact = QString(61, QChar('y')) + "z";
    tray.SetToolTip(exact);
    EXPECT_EQ(tray.ToolTip(), exact);
    // A character outside the basic plane is never cut in half.
    const QString wide = QString(61, QChar('a')) + QString::fromUtf8("\U0001F4FB") + "b";
    tray.SetToolTip(wide);
    EXPECT_EQ(tray.ToolTip(), wide.left(61));
}

TEST(TrayIconImage, AssigningTheIconAlreadyHeldDoesNotUpdateTheRegistration) {
    TTrayIcon tray;
    tray.SetActive(true);
    const int afterActivation = tray.RecordUpdates();
    const QIcon red = SolidIcon(Qt::red);
    tray.SetIcon(red);
    EXPECT_EQ(tray.RecordUpdates(), afterActivation + 1);
    const QIcon copyOfRed = red;
    tray.SetIcon(copyOfRed);
    tray.SetIcon(tray.Icon());
    EXPECT_EQ(tray.RecordUpdates(), afterActivation + 1);
    tray.SetIcon(SolidIcon(Qt::green));
    EXPECT_EQ(tray.RecordUpdates(), afterActivation + 2);
    EXPECT_EQ(tray.Icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::green));
}

TEST(TrayIconAvailability, WithoutANotificationAreaTheComponentKeepsItsStateOnly) {
    ASSERT_FALSE(TTrayIcon::TrayAvailable()) << "the offscreen platform has no tray";
    TTrayIcon tray;
    tray.SetIcon(SolidIcon(Qt::red));
    tray.SetActive(true);
    EXPECT_TRUE(tray.Active());
    EXPECT_FALSE(tray.Registered());
    tray.SetActive(false);
    EXPECT_FALSE(tray.Active());
}

TEST(TrayIconEvents, ClicksAndDoubleClicksReachTheirOwnEvents) {
    TTrayIcon tray;
    int clicks = 0, doubleClicks = 0;
    tray.OnClick = [&] { ++clicks; };
    tray.OnDblClick = [&] { ++doubleClicks; };
    tray.HandleActivation(QSystemTrayIcon::Trigger);
    tray.HandleActivation(QSystemTrayIcon::Trigger);
    tray.HandleActivation(QSystemTrayIcon::DoubleClick);
    tray.HandleActivation(QSystemTrayIcon::MiddleClick);
    tray.HandleActivation(QSystemTrayIcon::Unknown);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(doubleClicks, 1);
}

TEST(TrayIconEvents, RightClickOpensThePopupMenuThenRaisesOnRightClick) {
    TTrayIcon tray;
    QMenu menu;
    menu.addAction("Run");
    tray.SetPopupMenu(&menu);
    int rightClicks = 0, clicks = 0;
    bool menuWasOpen = false;
    Qt::MouseButton button = Qt::NoButton;
    tray.OnClick = [&] { ++clicks; };
    tray.OnRightClick = [&](Qt::MouseButton b, Qt::KeyboardModifiers modifiers, QPoint) {
        ++rightClicks;
        button = b;
        menuWasOpen = menu.isVisible();
        EXPECT_EQ(modifiers, Qt::NoModifier);
    };
    tray.HandleActivation(QSystemTrayIcon::Context);
    EXPECT_EQ(rightClicks, 1);
    EXPECT_EQ(button, Qt::RightButton);
    EXPECT_TRUE(menuWasOpen);
    EXPECT_EQ(clicks, 0);
    menu.close();

    // Without a menu the event still comes.
    tray.SetPopupMenu(nullptr);
    tray.HandleActivation(QSystemTrayIcon::Context);
    EXPECT_EQ(rightClicks, 2);
}

TEST(TrayIconEvents, AMenuDeletedByItsOwnerIsNoLongerShown) {
    TTrayIcon tray;
    auto* menu = new QMenu;
    tray.SetPopupMenu(menu);
    delete menu;
    EXPECT_EQ(tray.PopupMenu(), nullptr);
    tray.HandleActivation(QSystemTrayIcon::Context); // must not touch the deleted menu
}

} // namespace
} // namespace sonari
