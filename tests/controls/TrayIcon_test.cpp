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

// Tool-tips are cut to 62 characters, never inside a character; the icon already held is not
// registered again.
TEST(TrayIcon, LongToolTipsAreCutAndAssigningTheIconAlreadyHeldDoesNotUpdateTheRegistration) {
    TTrayIcon tray;
    const QString seventy(70, QChar('x'));
    tray.SetToolTip(seventy);
    EXPECT_EQ(tray.ToolTip(), seventy.left(62));
    const QString exact = QString(61, QChar('y')) + "z";
    tray.SetToolTip(exact);
    EXPECT_EQ(tray.ToolTip(), exact);
    const QString wide = QString(61, QChar('a')) + QString::fromUtf8("\U0001F4FB") + "b";
    tray.SetToolTip(wide);
    EXPECT_EQ(tray.ToolTip(), wide.left(61));

    tray.SetActive(true);
    const int afterActivation = tray.RecordUpdates();
    const QIcon red = SolidIcon(Qt::red);
    tray.SetIcon(red);
    const QIcon copyOfRed = red;
    tray.SetIcon(copyOfRed);
    tray.SetIcon(tray.Icon());
    EXPECT_EQ(tray.RecordUpdates(), afterActivation + 1);
    tray.SetIcon(SolidIcon(Qt::green));
    EXPECT_EQ(tray.RecordUpdates(), afterActivation + 2);
    EXPECT_EQ(tray.Icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::green));
}

TEST(TrayIcon, EachNotificationRaisesItsOwnEventAndRightClickOpensTheMenuFirst) {
    TTrayIcon tray;
    auto* menu = new QMenu;
    menu->addAction("Run");
    tray.SetPopupMenu(menu);
    std::vector<std::string> events;
    tray.OnClick = [&] { events.push_back("click"); };
    tray.OnDblClick = [&] { events.push_back("double"); };
    tray.OnRightClick = [&](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint) {
        EXPECT_EQ(button, Qt::RightButton);
        EXPECT_EQ(modifiers, Qt::NoModifier);
        QMenu* shown = tray.PopupMenu();
        events.push_back(shown && shown->isVisible() ? "right after menu" : "right");
        if (shown)
            shown->close();
    };
    for (auto reason :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick,
          QSystemTrayIcon::Unknown, QSystemTrayIcon::Context})
        tray.HandleActivation(reason);
    // A menu deleted by its owner is no longer shown; the event still comes.
    delete menu;
    EXPECT_EQ(tray.PopupMenu(), nullptr);
    tray.HandleActivation(QSystemTrayIcon::Context);
    EXPECT_EQ(events, (std::vector<std::string>{"click", "double", "right after menu", "right"}));
}

} // namespace
} // namespace sonari
