#include "app/MainForm.h"

#include "app/ShellUtils.h"
#include "controls/SafeShutdown.h"
#include "engine/SliderScales.h"
#include "settings/SettingsFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace sonari {

TMainForm::TMainForm(TWdmAudio& audio, TSynchronizer& synchronizer, TSoundFolders folders,
                     QWidget* parent)
    : QMainWindow(parent), synchronizer_(synchronizer),
      dsp_(std::make_unique<TDsp>(audio, synchronizer, *this, selection_, std::move(folders))),
      ports_(*dsp_, audio, selection_),
      view_(*this, audio, selection_, startOptions_, EditorContext()),
      modes_(ports_, view_, view_.Prompts),
      profiles_(ports_, view_, view_.Prompts, QString::fromStdString(SettingsFolder()) + "Prof"),
      settings_(view_, *dsp_, audio, selection_, profiles_, startOptions_) {
    ConnectView();
    ConnectTray();
    // Blocks reach this thread through posted events; each one runs the pending hand-overs.
    synchronizer_.OnWakeUp = [this] {
        QMetaObject::invokeMethod(
            this, [this] { PumpSynchronizer(); }, Qt::QueuedConnection);
    };

    dsp_->LoadSoundFiles();
    view_.EnableNoise(dsp_->HasNoise());
    // A bad settings value ends the settings there; the start goes on so the window comes up
    // usable.
    if (auto problem = settings_.Load())
        Error(*problem);
    else if (auto failed = profiles_.LoadLast())
        Error(*failed);
    modes_.UpdateStepButtons();
    auto* latencyTimer = new QTimer(this);
    latencyTimer->setObjectName("LatencyTimer");
    connect(latencyTimer, &QTimer::timeout, this, [this] { modes_.ShowLatency(); });
    latencyTimer->start(1000);
    QGuiApplication::setApplicationDisplayName(kApplicationTitle);
    setWindowTitle(kApplicationTitle);
    // A log-out saves first and may still be cancelled; its real end or SIGTERM ends the
    // program without asking about the profile; the exit skips this window's destructor, so the
    // handler does its work.
    safeShutdown1_ = new TSafeShutdown(this);
    safeShutdown1_->setObjectName("SafeShutdown1");
    safeShutdown1_->OnCommitData = [this] { WriteSettings(); };
    safeShutdown1_->OnShutdown = [this] {
        dsp_->Stop();
        WriteSettings();
    };
}

TMainForm::~TMainForm() {
    dsp_->Stop();
    // No streaming thread is left to wake this window up.
    synchronizer_.OnWakeUp = nullptr;
    WriteSettings();
}

// The editors draw the engine's data and change it through the engine; every change is a
// profile change.
TEditorContext TMainForm::EditorContext() {
    return {dsp_->Equalizer(),
            [this](const std::function<void(TMicEqualizer&)>& edit) { dsp_->EditEqualizer(edit); },
            dsp_->Analysis(), [this] { return dsp_->Mode(); },
            [this] { profiles_.MarkModified(); }};
}

void TMainForm::ConnectView() {
    view_.OnStepClicked = [this](int tag, bool down) { modes_.ModeBtnClick(tag, down); };
    view_.OnRun = [this] { TrayRunMNUClick(); };
    view_.OnStop = [this] { TrayStopMNUClick(); };
    view_.OnDevicesChosen = [this] {
        settings_.ApplyLatency();
        modes_.UpdateStepButtons();
    };
    view_.OnDevicesDialogClosed = [this] { modes_.SetMode(dmStop); };
    view_.OnLoadProfile = [this] { profiles_.LoadClick(); };
    view_.OnSaveProfile = [this] { profiles_.SaveClick(); };
    view_.OnEqualizerSwitched = [this](bool on) { profiles_.EqualizerSwitched(on); };
    view_.OnDynamicsSwitched = [this](bool on) { profiles_.DynamicsSwitched(on); };
    view_.OnOvershootSwitched = [this](bool on) { profiles_.OvershootSwitched(on); };
    view_.OnResetBands = [this] { profiles_.ResetBands(); };
    view_.OnOutputGainChanged = [this](float value) { profiles_.OutputGainChanged(value); };
    // Settings, not profile values: they go to the engine only.
    view_.OnSoftGainChanged = [this](bool on, int32_t db) { dsp_->SetSoftwareGain(on, db); };
    view_.OnNoiseChanged = [this](bool add, bool qrn) { dsp_->SetNoise(add, qrn); };
    view_.OnPlaybackVolumeChanged = [this](float value) {
        dsp_->SetPlaybackGainDb(PlaybackGainDb(value));
    };
    view_.OnNoiseLevelChanged = [this](float value) { dsp_->SetNoiseSnrDb(NoiseSnrDb(value)); };
}

void TMainForm::ConnectTray() {
    TTrayMenu& tray = view_.Tray();
    tray.SetProfileFolder(profiles_.ProfileFolder());
    tray.OnClick = [this] { TrayIcon1Click(); };
    tray.OnRun = [this] { TrayRunMNUClick(); };
    tray.OnStop = [this] { TrayStopMNUClick(); };
    tray.OnRestore = [this] { TrayRestoreMNUClick(); };
    // The normal close, so a modified profile is still offered for saving.
    tray.OnExit = [this] { close(); };
    tray.OnSelectProfile = [this](const QString& fileName) { profiles_.Select(fileName); };
    TrayPresent = [&tray] { return tray.Present(); };
    // A window that could only be minimized for want of a tray goes into it once there is one.
    tray.OnAppeared = [this] {
        if (isMinimized())
            hide();
    };
}

void TMainForm::WriteSettings() {
    try {
        settings_.Save();
    } catch (const std::exception& e) {
        view_.Prompts.ShowError(QString::fromStdString(e.what()));
    }
}

// ---- tray and window state -----------------------------------------------------------------

void TMainForm::TrayIcon1Click() {
    if (modes_.CtrlHeld())
        TrayRestoreMNUClick();
    else if (!view_.Tray().ShowsRunning())
        TrayRunMNUClick();
    else
        TrayStopMNUClick();
}

void TMainForm::TrayRunMNUClick() { ModeFromTray(dmProcess); }
void TMainForm::TrayStopMNUClick() { ModeFromTray(dmStop); }

// The tray stays usable while the window waits for an answer; what it would change is refused
// until the answer is given.
void TMainForm::ModeFromTray(TDspMode mode) {
    if (!PromptOpen())
        modes_.SetMode(mode);
    else // a refused click must not leave its item looking chosen
        view_.ShowRunning(modes_.Mode() == dmProcess);
}

bool TMainForm::PromptOpen() const {
    return modes_.Asking() || QApplication::activeModalWidget() != nullptr;
}

void TMainForm::TrayRestoreMNUClick() {
    ForceForeground(this);
    dsp_->SetAnalysisOn(true);
}

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
    // Under the record prompt the step ends once the prompt has its answer.
    if (modes_.Mode() != dmProcess && !modes_.Asking())
        modes_.SetMode(dmStop);
    dsp_->SetAnalysisOn(false);
}

void TMainForm::ApplicationEvents1Restore() { dsp_->SetAnalysisOn(true); }

void TMainForm::Launch() {
    PlaceWindow();
    if (!startOptions_.InTray)
        show();
    else if (!TrayPresent())
        showMinimized();
    if (startOptions_.Processing)
        modes_.SetMode(dmProcess);
}

// Centred unless the settings placed the window somewhere still on a screen.
void TMainForm::PlaceWindow() {
    const QRect placed(pos(), frameGeometry().size());
    if (settings_.Positioned())
        for (const QScreen* screen : QGuiApplication::screens())
            if (screen->availableGeometry().intersects(placed))
                return;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!profiles_.CloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    if (OnClosed)
        QTimer::singleShot(0, this, [this] { OnClosed(); });
}

// ---- the engine's reports ------------------------------------------------------------------

void TMainForm::InputLevelsChanged(const TInputLevels& levels) { view_.ShowInputLevels(levels); }
void TMainForm::OutputFiguresChanged(const TOutputFigures& figures) {
    view_.ShowOutputFigures(figures);
}
void TMainForm::OverloadChanged(bool overloaded) { view_.ShowOverload(overloaded); }
void TMainForm::SpectraChanged() { view_.RepaintSpectra(); }
void TMainForm::HistogramsChanged() { view_.RepaintHistograms(); }
void TMainForm::RecordingProgress(float fraction) { view_.ShowProgress(fraction); }
void TMainForm::RecordingComplete() { modes_.RecordingComplete(); }
void TMainForm::StreamEnded(const std::string& reason) {
    modes_.StreamEnded(QString::fromStdString(reason));
}

void TMainForm::Error(const std::string& message) {
    const QString text = QString::fromStdString(message);
    if (text == errorShowing_ || pendingErrors_.contains(text))
        return;
    pendingErrors_.append(text);
    if (!errorsPosted_) {
        errorsPosted_ = true;
        QTimer::singleShot(0, this, [this] { ShowQueuedErrors(); });
    }
}

void TMainForm::ShowQueuedErrors() {
    while (!pendingErrors_.isEmpty()) {
        errorShowing_ = pendingErrors_.takeFirst();
        view_.Prompts.ShowError(errorShowing_);
        errorShowing_.clear();
    }
    errorsPosted_ = false;
}

// Messages from the engine, handled after its block handler returned.
void TMainForm::PumpSynchronizer() {
    try {
        synchronizer_.CheckSynchronize();
    } catch (const std::exception& e) {
        Error(e.what());
    } catch (...) {
        Error("Unknown error");
    }
}

} // namespace sonari
