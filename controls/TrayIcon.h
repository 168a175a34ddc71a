#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>

namespace sonari {

// The program's icon in the notification area. Where the desktop has no notification area the
// component keeps its state and does nothing else, so the program works normally without it. A
// program started with the desktop session often comes before the panel: an active icon without
// an area watches for one for a while and registers when it appears. Main thread only.
class TTrayIcon : public QObject {
public:
    static constexpr int kMaxToolTipLength = 62; // characters
    static constexpr int kAreaPollMs = 1000;     // how often a missing area is looked for
    static constexpr int kAreaWaitMs = 180000;   // for how long after activation

    explicit TTrayIcon(QObject* parent = nullptr);
    ~TTrayIcon() override;

    // Whether the icon is meant to be in the notification area; changing it registers or
    // removes the icon.
    bool Active() const { return active_; }
    void SetActive(bool active);
    // The image. Assigning the icon already held (the same QIcon data, i.e. the same cacheKey(),
    // copies included) changes nothing; another icon is copied and the registration updated.
    const QIcon& Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);
    // Tool-tip text, cut to its first kMaxToolTipLength characters.
    const QString& ToolTip() const { return toolTip_; }
    void SetToolTip(const QString& text);
    // Menu shown on a right click; not owned.
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

    // Left click; left double click; right click (raised after the popup menu has opened, with
    // the right button, no modifiers and the cursor position in screen coordinates).
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> OnRightClick;
    // The icon was registered in a notification area that appeared after activation.
    std::function<void()> OnAppeared;

    // Dispatches one notification of the platform icon to the events above.
    void HandleActivation(QSystemTrayIcon::ActivationReason reason);

    // True when the desktop offers a notification area.
    static bool TrayAvailable();
    // What the component asks; TrayAvailable unless replaced (tests do).
    std::function<bool()> AreaAvailable = &TrayAvailable;
    // True while an icon is shown in a real notification area.
    bool Registered() const { return trayIcon_ != nullptr; }
    // How often the icon record (image and tool-tip) has been filled for registration or update.
    int RecordUpdates() const { return recordUpdates_; }

private:
    void AddIcon();
    void ModifyIcon();
    void DeleteIcon();
    void FillRecord();
    void RightClick();
    void LookForArea();

    bool active_ = false;
    QIcon icon_;
    QString toolTip_;
    QPointer<QMenu> popupMenu_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    QTimer areaWatch_;
    QElapsedTimer areaWaited_;
    int recordUpdates_ = 0;
};

} // namespace sonari
