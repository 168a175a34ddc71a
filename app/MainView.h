#pragma once

#include "app/EditorContext.h"
#include "app/ModeController.h"
#include "app/ProfileController.h"
#include "app/Prompts.h"
#include "app/SettingsBinder.h"
#include "app/TrayMenu.h"
#include "engine/LevelMeters.h"

#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QToolButton;

namespace sonari {

class TAboutDialog;
class TShape;
class TSndCardDialog;
class TStartOptionsDialog;
class TVolumeSlider;
class TWdmAudio;

// The main window's controls, built into the window and known by their designer object names
// (StopBtn, CheckBox3, VolumeSlider1, ...): the guided steps at the left, the two editors'
// pages, the switches, meters and playback controls below them, the status bar, the tray menu
// and the three dialogs. It shows what the controllers and the engine's reports say and tells
// its owner what the operator did; it decides nothing itself. Main thread only.
class TMainView final : public IModeView, public IProfileView, public ISettingsView {
public:
    static constexpr int kClientWidth = 822;  // pixels, fixed
    static constexpr int kClientHeight = 527; // pixels, fixed, status bar included

    // The sound card dialog offers the devices of `audio` and writes `selection`; the startup
    // options dialog writes `startOptions`; the editors work on `editors`.
    TMainView(QMainWindow& window, const TWdmAudio& audio, TDeviceSelection& selection,
              TStartOptions& startOptions, const TEditorContext& editors);
    TMainView(const TMainView&) = delete;
    TMainView& operator=(const TMainView&) = delete;

    // Questions, error boxes and file dialogs; replaceable for tests.
    TPrompts Prompts;
    TTrayMenu& Tray() { return tray_; }

    // --- what the operator did, raised after the view has followed ---
    std::function<void(int tag, bool down)> OnStepClicked; // tag = the step's mode
    std::function<void()> OnLoadProfile, OnSaveProfile, OnRun, OnStop, OnResetBands;
    std::function<void(bool on, int32_t gainDb)> OnSoftGainChanged;
    std::function<void(bool on)> OnEqualizerSwitched, OnDynamicsSwitched, OnOvershootSwitched;
    std::function<void(bool add, bool qrn)> OnNoiseChanged;
    // Slider positions 0..1.
    std::function<void(float value)> OnPlaybackVolumeChanged, OnNoiseLevelChanged,
        OnOutputGainChanged;
    // The sound card dialog stored the operator's choice; it closed, whichever way.
    std::function<void()> OnDevicesChosen, OnDevicesDialogClosed;

    // --- the engine's reports ---
    void ShowInputLevels(const TInputLevels& levels);
    void ShowOutputFigures(const TOutputFigures& figures);
    // Output bar at 2 pixels per dB with 0 dBFS at its right end; -999 empties it.
    void ShowOutputLevel(float rmsDb, float peakDb);
    void ShowOverload(bool overloaded);
    // The file being written, as a fraction of its length.
    void ShowProgress(float fraction);
    void RepaintSpectra();
    void RepaintHistograms();
    // Noise can be added only when both noise recordings were read.
    void EnableNoise(bool available);

    // IModeView
    void ShowStep(TDspMode mode) override;
    void EnableSteps(bool devicesValid, bool hasVoice) override;
    void ClearDisplays() override;
    void ShowRunning(bool running) override;
    void ShowLowerArea(bool shown) override;
    void RepaintEditors() override;
    void ShowNote(const QString& note) override;
    void SelectDevices() override;
    bool DisplaysVisible() const override;
    void Post(std::function<void()> call) override;
    // IProfileView
    void ShowProfileText(const QString& text) override;
    void ShowSwitches(const TMicEqualizer& equalizer) override;
    float OutputGain() const override;
    void ShowOutputGain(float value) override;
    // ISettingsView
    QPoint Position() const override;
    void MoveTo(QPoint position) override;
    TSettingsControls SettingsControls() const override;
    void ShowSettingsControls(const TSettingsControls& controls) override;

private:
    // Layout (MainViewLayout.cpp)
    void BuildControls(const TEditorContext& editors);
    QWidget* BuildLeftColumn();
    QWidget* BuildToolbar();
    QWidget* BuildStepPanel(int tag, const char* name, const char* caption, const char* text);
    QWidget* BuildGainStep();
    QWidget* BuildRecordStep();
    void BuildInputBar(QWidget* area);
    QWidget* BuildPages(const TEditorContext& editors);
    QWidget* BuildLowerArea();
    QWidget* BuildEqualizerGroups();
    QWidget* BuildOutputPanel();
    QWidget* BuildPlaybackGroup();
    void BuildStatusBar();
    // Handlers (MainView.cpp)
    void ConnectHandlers();
    void ShowSoftGainLook();
    void SoftGainChanged();
    void NoiseChanged();

    QMainWindow& window_;
    TTrayMenu tray_;

    QToolButton *speedButton7_, *speedButton5_, *speedButton1_, *speedButton3_, *speedButton4_,
        *speedButton6_;
    std::array<QPushButton*, 5> stepButtons_{}; // StopBtn .. PlayBtn, by tag
    QWidget* panel4_;
    TShape *shape2_, *shapeMid_;
    QCheckBox* checkBox1_;
    QSpinBox* spinEdit2_;
    QProgressBar* progressBar1_;
    QTabWidget* pageControl1_;
    QWidget *paintBox1_, *paintBox2_;
    QWidget* panel11_;
    QCheckBox *checkBox2_, *checkBox3_, *checkBox4_, *checkBox5_;
    QPushButton* speedButton2_;
    TVolumeSlider *volumeSlider1_, *volumeSlider2_, *volumeSlider3_;
    TShape *shape10_, *shape11_, *shape12_, *shape13_;
    QLabel *label19_, *label20_, *label21_, *label8_;
    QRadioButton *radioButton1_, *radioButton2_;
    QStatusBar* statusBar1_;
    QLabel* statusLabel_;

    TSndCardDialog* sndCardDialog_;
    TStartOptionsDialog* startOptionsDialog_;
    TAboutDialog* aboutDialog_;
};

} // namespace sonari
