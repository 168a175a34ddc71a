#pragma once

#include "SND/WDM/DeviceList.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "app/DspPorts.h"
#include "app/MainView.h"
#include "app/ModeController.h"
#include "app/ProfileController.h"
#include "app/SettingsBinder.h"
#include "engine/Dsp.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

namespace sonari {

class TSafeShutdown;

// The main window: owns the engine, its controls (the view), the mode and profile controllers
// and the settings binder, and routes between them: the operator's actions to the controllers,
// the engine's reports to the view, its events to the mode controller. It also keeps the window
// state (tray, minimize, restore), the close question and the session end.
// Main thread only; the engine's block handler runs here too, so nothing takes a lock.
class TMainForm : public QMainWindow, public IDspView {
public:
    // Builds the window over the device list; `synchronizer` is the streaming thread's hand-over
    // to this (the main) thread. Loads the sound files, the settings and the last profile.
    TMainForm(TWdmAudio& audio, TSynchronizer& synchronizer, TSoundFolders folders,
              QWidget* parent = nullptr);
    // Stops the engine and writes the settings.
    ~TMainForm() override;

    // Shows the window as the start options ask (not at all when it lives in the tray,
    // minimized when it should but there is no tray), then starts processing if they ask.
    void Launch();
    // The tray's "Configure...": the window shown, restored and in front; displays measured.
    void TrayRestoreMNUClick();
    // Writes the settings file now; a failure is shown.
    void WriteSettings();

    // The parts, for the program, the tests and the benchmarks.
    TDsp& Dsp() { return *dsp_; }
    TModeController& Modes() { return modes_; }
    TProfileController& Profiles() { return profiles_; }
    TDeviceSelection& Selection() { return selection_; }
    TStartOptions& StartOptions() { return startOptions_; }
    // Questions, error boxes and file dialogs, replaceable for tests.
    TPrompts& Prompts() { return view_.Prompts; }

    // Replaceable for tests: whether a notification area shows our icon; what closing the
    // window ends.
    std::function<bool()> TrayPresent;
    std::function<void()> OnClosed;

    // --- IDspView ---
    void InputLevelsChanged(const TInputLevels& levels) override;
    void OutputFiguresChanged(const TOutputFigures& figures) override;
    void OverloadChanged(bool overloaded) override;
    void SpectraChanged() override;
    void HistogramsChanged() override;
    void RecordingProgress(float fraction) override;
    void RecordingComplete() override;
    // Queued, so the block handler never waits for the operator; a message already waiting or
    // on screen is not stacked again.
    void Error(const std::string& message) override;
    void StreamEnded(const std::string& reason) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TEditorContext EditorContext();
    void ConnectView();
    void ConnectTray();
    void TrayIcon1Click();
    void TrayRunMNUClick();
    void TrayStopMNUClick();
    void ModeFromTray(TDspMode mode);
    // A question, box or dialog of the window waits for the operator.
    bool PromptOpen() const;
    void ApplicationEvents1Minimize();
    void ApplicationEvents1Restore();
    void PlaceWindow();
    void PumpSynchronizer();
    void ShowQueuedErrors();

    TSynchronizer& synchronizer_;
    bool errorsPosted_ = false;
    QStringList pendingErrors_;
    QString errorShowing_;

    TDeviceSelection selection_; // InputDeviceIndex, OutputDeviceIndex
    TStartOptions startOptions_;
    std::unique_ptr<TDsp> dsp_;
    TDspPorts ports_;
    TMainView view_;
    TModeController modes_;
    TProfileController profiles_;
    TSettingsBinder settings_;
    TSafeShutdown* safeShutdown1_ = nullptr;
};

} // namespace sonari
