// The tray menu, the window's start-up placement and what minimizing and restoring do.
#include "app/AppIcons.h"
#include "app/MainForm.h"
#include "app/ShellUtils.h"
#include "app/SndCardDialog.h"
#include "app/StartOptionsDialog.h"
#include "controls/TrayIcon.h"

#include <QActionGroup>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace sonari {
namespace {

// Menu texts show '&' as an accelerator mark unless it is doubled.
QString MenuCaption(QString text) { return text.replace('&', "&&"); }

} // namespace

void TMainForm::BuildTrayMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    TrayRunMNU = PopupMenu1->addAction(RunIcon(), "Run");
    TrayRunMNU->setObjectName("TrayRunMNU");
    TrayStopMNU = PopupMenu1->addAction(StopIcon(), "Stop");
    TrayStopMNU->setObjectName("TrayStopMNU");
    auto* runOrStop = new QActionGroup(PopupMenu1);
    for (QAction* item : {TrayRunMNU, TrayStopMNU}) {
        item->setCheckable(true);
        runOrStop->addAction(item);
    }
    TrayStopMNU->setChecked(true);
    PopupMenu1->addSeparator();
    ProfilesMNU = PopupMenu1->addMenu(style()->standardIcon(QStyle::SP_DirIcon), "Profiles");
    ProfilesMNU->setObjectName("ProfilesMNU");
    TrayRestoreMNU = PopupMenu1->addAction(ProgramIcon(), "Configure...");
    TrayRestoreMNU->setObjectName("TrayRestoreMNU");
    PopupMenu1->addSeparator();
    TrayExitMNU = PopupMenu1->addAction("Exit");
    TrayExitMNU->setObjectName("TrayExitMNU");

    connect(TrayRunMNU, &QAction::triggered, this, [this] { TrayRunMNUClick(); });
    connect(TrayStopMNU, &QAction::triggered, this, [this] { TrayStopMNUClick(); });
    connect(TrayRestoreMNU, &QAction::triggered, this, [this] { TrayRestoreMNUClick(); });
    connect(TrayExitMNU, &QAction::triggered, this, [this] { TrayExitMNUClick(); });
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setObjectName("TrayIcon1");
    TrayIcon1->SetPopupMenu(PopupMenu1);
    TrayIcon1->OnClick = [this] { TrayIcon1Click(); };
    TrayIcon1->SetActive(true);
    TrayPresent = [this] { return TrayIcon1->Registered(); };
}

// Tray icon, menu items and toolbar buttons all say whether live processing runs.
void TMainForm::ShowRunningLook(bool running) {
    (running ? TrayRunMNU : TrayStopMNU)->setChecked(true);
    TrayIcon1->SetIcon(running ? RunIcon() : StopIcon());
    (running ? SpeedButton1 : SpeedButton3)->setChecked(true);
}

bool TMainForm::SetupDialogOpen() const {
    return (SndCardDialog && SndCardDialog->isVisible()) ||
           (StartOptionsDialog && StartOptionsDialog->isVisible());
}

// ---- tray menu -----------------------------------------------------------------------------

void TMainForm::TrayIcon1Click() {
    if (CtrlHeld())
        TrayRestoreMNUClick();
    else if (TrayStopMNU->isChecked())
        TrayRunMNUClick();
    else
        TrayStopMNUClick();
}

void TMainForm::TrayRunMNUClick() {
    if (!SetupDialogOpen())
        SetMode(dmProcess);
    else // a refused click must not leave "Run" looking chosen
        ShowRunningLook(Dsp->Mode() == dmProcess);
}

void TMainForm::TrayStopMNUClick() { SetMode(dmStop); }

void TMainForm::TrayRestoreMNUClick() {
    ForceForeground(this);
    Dsp->SetAnalysisOn(true);
}

// The normal close, so a modified profile is still offered for saving.
void TMainForm::TrayExitMNUClick() { close(); }

// Every *.ini of the profile folder, sorted by name, captions exactly the names.
void TMainForm::PopupMenu1Popup() {
    ProfilesMNU->clear();
    const QFileInfoList files =
        QDir(profileFolder_).entryInfoList({"*.ini"}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& file : files) {
        QAction* item = ProfilesMNU->addAction(MenuCaption(file.completeBaseName()));
        item->setData(file.absoluteFilePath());
        connect(item, &QAction::triggered, this,
                [this, path = file.absoluteFilePath()] { SelectProfileMNUClick(path); });
    }
    if (files.isEmpty()) {
        QAction* none = ProfilesMNU->addAction("[No Profiles]");
        none->setObjectName("SelectProfileMNU");
        none->setEnabled(false);
    }
}

// Loads the file the item was listed for, whatever the letter case of its extension.
void TMainForm::SelectProfileMNUClick(const QString& fileName) {
    if (OfferToSave(kSaveChanges))
        LoadProfileFile(fileName);
}

// ---- window state --------------------------------------------------------------------------

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const bool wasMinimized =
        static_cast<QWindowStateChangeEvent*>(event)->oldState().testFlag(Qt::WindowMinimized);
    if (isMinimized() && !wasMinimized)
        ApplicationEvents1Minimize();
    else if (!isMinimized() && wasMinimized)
        ApplicationEvents1Restore();
}

// Into the tray where there is one; without a tray the window stays minimized, so the
// operator always has a way back.
void TMainForm::ApplicationEvents1Minimize() {
    if (TrayPresent())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    if (Dsp->Mode() != dmProcess)
        SetMode(dmStop);
    Dsp->SetAnalysisOn(false);
}

void TMainForm::ApplicationEvents1Restore() { Dsp->SetAnalysisOn(true); }

void TMainForm::Launch() {
    PlaceWindow();
    if (!startInTray_)
        show();
    else if (!TrayPresent())
        showMinimized();
    if (startProcessing_)
        SetMode(dmProcess);
}

// Centred unless the settings placed the window somewhere still on a screen.
void TMainForm::PlaceWindow() {
    const QRect placed(pos(), frameGeometry().size());
    if (positioned_)
        for (const QScreen* screen : QGuiApplication::screens())
            if (screen->availableGeometry().intersects(placed))
                return;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
}

} // namespace sonari
