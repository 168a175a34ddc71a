#pragma once

#include <QString>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace sonari {

class TTrayIcon;

// The program's icon in the notification area and its menu: Run, Stop, the profiles of the
// profile folder, Configure... and Exit. Icon and Run/Stop items show whether live processing
// runs. Main thread only.
class TTrayMenu {
public:
    // Builds the menu (PopupMenu1) and the icon (TrayIcon1, active, stopped) as children of the
    // window.
    explicit TTrayMenu(QWidget& window);
    TTrayMenu(const TTrayMenu&) = delete;
    TTrayMenu& operator=(const TTrayMenu&) = delete;

    void SetProfileFolder(const QString& folder) { profileFolder_ = folder; }
    void ShowRunning(bool running);
    // "Run" is the checked item.
    bool ShowsRunning() const;
    // A notification area shows the icon.
    bool Present() const;

    // A left click on the icon; the menu's items; a profile chosen by its full path; a
    // notification area that came after the start now shows the icon.
    std::function<void()> OnClick, OnRun, OnStop, OnRestore, OnExit, OnAppeared;
    std::function<void(const QString& fileName)> OnSelectProfile;

private:
    // Every *.ini of the profile folder, sorted by name, captions exactly the names; rebuilt
    // each time the menu opens.
    void ListProfiles();

    QMenu* popupMenu1_;
    QAction *trayRunMNU_, *trayStopMNU_;
    QMenu* profilesMNU_;
    TTrayIcon* trayIcon1_;
    QString profileFolder_;
};

} // namespace sonari
