#include "app/TrayMenu.h"

#include "app/AppIcons.h"
#include "controls/TrayIcon.h"

#include <QActionGroup>
#include <QDir>
#include <QMenu>
#include <QStyle>

namespace sonari {
namespace {

// Menu texts show '&' as an accelerator mark unless it is doubled.
QString MenuCaption(QString text) { return text.replace('&', "&&"); }

QAction* Item(QMenu* menu, const QIcon& icon, const char* caption, const char* name,
              const std::function<void()>& onClick) {
    QAction* item = menu->addAction(icon, caption);
    item->setObjectName(name);
    QObject::connect(item, &QAction::triggered, menu, [onClick = &onClick] {
        if (*onClick)
            (*onClick)();
    });
    return item;
}

} // namespace

TTrayMenu::TTrayMenu(QWidget& window) {
    popupMenu1_ = new QMenu(&window);
    popupMenu1_->setObjectName("PopupMenu1");
    trayRunMNU_ = Item(popupMenu1_, RunIcon(), "Run", "TrayRunMNU", OnRun);
    trayStopMNU_ = Item(popupMenu1_, StopIcon(), "Stop", "TrayStopMNU", OnStop);
    auto* runOrStop = new QActionGroup(popupMenu1_);
    for (QAction* item : {trayRunMNU_, trayStopMNU_}) {
        item->setCheckable(true);
        runOrStop->addAction(item);
    }
    trayStopMNU_->setChecked(true);
    popupMenu1_->addSeparator();
    profilesMNU_ =
        popupMenu1_->addMenu(window.style()->standardIcon(QStyle::SP_DirIcon), "Profiles");
    profilesMNU_->setObjectName("ProfilesMNU");
    Item(popupMenu1_, ProgramIcon(), "Configure...", "TrayRestoreMNU", OnRestore);
    popupMenu1_->addSeparator();
    Item(popupMenu1_, {}, "Exit", "TrayExitMNU", OnExit);
    QObject::connect(popupMenu1_, &QMenu::aboutToShow, popupMenu1_, [this] { ListProfiles(); });

    trayIcon1_ = new TTrayIcon(&window);
    trayIcon1_->setObjectName("TrayIcon1");
    trayIcon1_->SetPopupMenu(popupMenu1_);
    trayIcon1_->OnClick = [this] {
        if (OnClick)
            OnClick();
    };
    trayIcon1_->OnAppeared = [this] {
        if (OnAppeared)
            OnAppeared();
    };
    trayIcon1_->SetIcon(StopIcon());
    trayIcon1_->SetActive(true);
}

void TTrayMenu::ShowRunning(bool running) {
    (running ? trayRunMNU_ : trayStopMNU_)->setChecked(true);
    trayIcon1_->SetIcon(running ? RunIcon() : StopIcon());
}

bool TTrayMenu::ShowsRunning() const { return trayRunMNU_->isChecked(); }

bool TTrayMenu::Present() const { return trayIcon1_->Registered(); }

void TTrayMenu::ListProfiles() {
    profilesMNU_->clear();
    const QFileInfoList files =
        QDir(profileFolder_).entryInfoList({"*.ini"}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& file : files) {
        QAction* item = profilesMNU_->addAction(MenuCaption(file.completeBaseName()));
        QObject::connect(item, &QAction::triggered, profilesMNU_,
                         [this, path = file.absoluteFilePath()] {
                             if (OnSelectProfile)
                                 OnSelectProfile(path);
                         });
    }
    if (files.isEmpty()) {
        QAction* none = profilesMNU_->addAction("[No Profiles]");
        none->setObjectName("SelectProfileMNU");
        none->setEnabled(false);
    }
}

} // namespace sonari
