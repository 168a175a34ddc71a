#pragma once

#include "SND/WDM/DeviceList.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "app/EditorContext.h"
#include "app/Prompts.h"
#include "engine/Dsp.h"
#include "settings/AppSettings.h"
#include "settings/Profile.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace sonari {

class TAboutDialog;
class TSafeShutdown;
class TShape;
class TSndCardDialog;
class TStartOptionsDialog;
class TTrayIcon;
class TVolumeSlider;

// The input bar (microphone gain step): the waveform's excursion between -MAX and +MAX, centred
// in a frame of the given client width.
struct TInputBar {
    int32_t Left = 0;  // pixels from the frame's client left edge
    int32_t Width = 0; // pixels, at least 2
    bool Red = false;  // an excursion beyond 80 % of full scale: red, else bright green
};
TInputBar InputBarGeometry(const TInputLevels& levels, int32_t clientWidth);

// Caption texts of the level figures: "%d dBFS" and "%d dB", rounded half to even.
QString DbfsCaption(float db);
QString DbCaption(long double db);

// The question before another profile replaces a modified one.
inline constexpr char kSaveChanges[] = "Save changes?";

// Hint texts of the sliders: playback volume "+%.0f dB" above 0, else "%.0f dB"; output gain
// "0 dB" at exactly 0, else "%.0f dB".
QString PlaybackVolumeHint(float db);
QString OutputGainHint(float db);

// The main window: the guided set-up in four steps, the two editors with the processing
// switches and meters, the tray menu, and the only place that changes the engine's mode. It
// owns the engine and is the engine's, the settings' and the profiles' view of the controls.
// Main thread only; the engine's block handler runs here too, so nothing takes a lock.
class TMainForm : public QMainWindow, public IDspView {
public:
    static constexpr int kClientWidth = 822;  // pixels, fixed
    static constexpr int kClientHeight = 527; // pixels, fixed, status bar included

    // Builds the window over the device list; `synchronizer` is the streaming thread's hand-over
    // to this (the main) thread. Loads the sound files, the settings and the last profile.
    TMainForm(TWdmAudio& audio, TSynchronizer& synchronizer, TSoundFolders folders,
              QWidget* parent = nullptr);
    // Stops the engine and writes the settings.
    ~TMainForm() override;

    // Shows the window as the start options ask (not at all when it lives in the tray,
    // minimized when it should but there is no tray), then starts processing if they ask.
    void Launch();

    // --- the workflow ---
    // Stops the engine, clears the displays and starts `mode`; a failing start is reported and
    // ends in dmStop. dmPlay with Ctrl held becomes dmPlayToFile.
    void SetMode(TDspMode mode);
    // A step button was clicked and is now `down` (or released).
    void ModeBtnClick(int tag, bool down);
    // Steps 2 and 3 need valid devices, step 4 also a voice recording.
    void UpdateStepButtons();
    void MarkModified();
    // Output level bar at 2 pixels per dB with 0 dBFS at its right end; -999 empties it.
    void ShowOutputLevel(float rmsDb, float peakDb);
    // The queued "recording complete" message of the run numbered `run`: stop, and reload the
    // voice after step 3. Ignored once that run is over.
    void RecordingCompleteMessage(int run);

    // --- control handlers ---
    void CheckBox1Click();    // software gain on/off
    void SpinEdit2Change();   // software gain in dB
    void CheckBox2Click();    // equalizer on/off (off also switches the dynamics off)
    void CheckBox3Click();    // dynamics on/off (on also switches the equalizer on)
    void CheckBox4Click();    // add noise on/off
    void SpeedButton2Click(); // equalizer reset
    void SpeedButton7Click(); // load profile
    void SpeedButton5Click(); // save profile
    void VolumeSlider1Change();
    void VolumeSlider2Change();
    void VolumeSlider3Change();

    // --- tray menu and window state ---
    void TrayIcon1Click();
    void TrayRunMNUClick();
    void TrayStopMNUClick();
    void TrayRestoreMNUClick();
    void TrayExitMNUClick();
    void PopupMenu1Popup();
    void SelectProfileMNUClick(const QString& fileName);
    void ApplicationEvents1Minimize();
    void ApplicationEvents1Restore();
    // The close question; false keeps the window open.
    bool CloseQuery();
    // Writes the settings file now; a failure is shown.
    void WriteSettings();

    // --- state ---
    const QString& ProfileFolder() const { return profileFolder_; }
    bool Modified() const { return modified_; }
    // The status bar's profile text.
    QString StatusText() const;

    TDeviceSelection Selection; // InputDeviceIndex, OutputDeviceIndex
    std::unique_ptr<TDsp> Dsp;

    // Replaceable for tests: questions, error boxes and file dialogs; whether Ctrl is held
    // now; whether a notification area shows our icon; what closing the window ends.
    TPrompts Prompts;
    std::function<bool()> CtrlHeld;
    std::function<bool()> TrayPresent;
    std::function<void()> OnClosed;

    // --- controls (designer names) ---
    QToolButton *SpeedButton7, *SpeedButton5, *SpeedButton1, *SpeedButton3, *SpeedButton4,
        *SpeedButton6;
    QLabel* Label2;
    QPushButton *StopBtn, *SndCardBtn, *GainBtn, *RecBtn, *PlayBtn;
    std::array<QPushButton*, 5> StepButtons{}; // by tag: mode 0..4
    QWidget* Panel4;
    TShape *Shape1, *Shape2, *ShapeMid;
    QCheckBox* CheckBox1;
    QSpinBox* SpinEdit2;
    QProgressBar* ProgressBar1;
    QTabWidget* PageControl1;
    QWidget *PaintBox1, *PaintBox2;
    QWidget* Panel11;
    QCheckBox *CheckBox2, *CheckBox3, *CheckBox4;
    QPushButton* SpeedButton2;
    TVolumeSlider *VolumeSlider1, *VolumeSlider2, *VolumeSlider3;
    TShape *Shape10, *Shape11, *Shape12, *Shape13;
    QLabel *Label19, *Label20, *Label21, *Label8;
    QRadioButton *RadioButton1, *RadioButton2;
    QStatusBar* StatusBar1;
    QLabel* StatusLabel;

    TTrayIcon* TrayIcon1;
    QMenu* PopupMenu1;
    QAction *TrayRunMNU, *TrayStopMNU, *TrayRestoreMNU, *TrayExitMNU;
    QMenu* ProfilesMNU;
    TSafeShutdown* SafeShutdown1;
    TSndCardDialog* SndCardDialog = nullptr;
    TStartOptionsDialog* StartOptionsDialog = nullptr;
    TAboutDialog* AboutDialog = nullptr;

    // --- IDspView ---
    void InputLevelsChanged(const TInputLevels& levels) override;
    void OutputFiguresChanged(const TOutputFigures& figures) override;
    void OverloadChanged(bool overloaded) override;
    void SpectraChanged() override;
    void HistogramsChanged() override;
    void RecordingProgress(float fraction) override;
    void RecordingComplete() override;
    void Error(const std::string& message) override;
    void StreamEnded(const std::string& reason) override;

    // --- settings and profiles ---
    TAppSettings CollectSettings() const;
    void ApplySettings(const TAppSettings& settings);
    TProfile CurrentProfile() const;
    void ApplyProfileToControls(const TProfile& profile);
    void BecomeCurrentProfile(const std::string& fileName);
    bool StartInTray() const { return startInTray_; }
    bool StartProcessing() const { return startProcessing_; }
    void SetStartOptions(bool inTray, bool processing) {
        startInTray_ = inTray;
        startProcessing_ = processing;
    }
    void SetModified(bool modified) { modified_ = modified; }
    const std::string& ProfileFileName() const { return profileFileName_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Layout (MainFormLayout.cpp)
    void BuildControls();
    QWidget* BuildLeftColumn();
    QWidget* BuildToolbar();
    QWidget* BuildStepPanel(int tag, const char* name, const char* caption, const char* text);
    QWidget* BuildGainStep();
    QWidget* BuildRecordStep();
    void BuildInputBar(QWidget* parent);
    QWidget* BuildPages();
    QWidget* BuildLowerArea();
    QWidget* BuildEqualizerGroups();
    QWidget* BuildOutputPanel();
    QWidget* BuildPlaybackGroup();
    void BuildStatusBar();
    void ConnectHandlers();
    // Editors (MainFormEditors.cpp)
    TEditorContext EditorContext();
    QWidget* CreateEqualizerEditor(QWidget* parent);
    QWidget* CreateDynamicsEditor(QWidget* parent);
    // Tray (MainFormTray.cpp)
    void BuildTrayMenu();
    void ShowRunningLook(bool running);
    bool SetupDialogOpen() const;
    bool OfferToSave(const QString& question);
    void PlaceWindow();
    // Creation and mode switch (MainForm.cpp)
    void LoadSoundFiles();
    void CreateDialogs();
    void LoadStartupFiles();
    void PushControls();
    void ShowStepButtons(TDspMode mode);
    void ClearDisplays();
    void StartMode(TDspMode mode);
    void PumpSynchronizer();
    void ShowQueuedErrors();
    void HandleStreamEnded(int run, const QString& reason);
    void LoadProfileFile(const QString& fileName);
    void SaveProfileFile(const QString& fileName);
    void StartOptionsClick();
    void AboutClick();

    TWdmAudio& audio_;
    TSynchronizer& synchronizer_;
    TSoundFolders folders_;
    QString profileFolder_;
    std::string profileFileName_;
    bool modified_ = false;
    bool startInTray_ = false;
    bool startProcessing_ = false;
    bool positioned_ = false; // the settings placed the window
    int run_ = 0;             // counts SetMode calls: reports name the run they concern
    bool errorsPosted_ = false;
    QStringList pendingErrors_;
    QString errorShowing_;
    TFileDialogState OpenDialog1, SaveDialog1;
};

} // namespace sonari
