// The main window's controls: what they show and what the operator's clicks raise.
#include "app/MainView.h"

#include "SND/WDM/WdmAudio.h"
#include "app/AboutDialog.h"
#include "app/MeterScales.h"
#include "app/Shape.h"
#include "app/SndCardDialog.h"
#include "app/StartOptionsDialog.h"
#include "controls/VolumeSlider.h"
#include "engine/SliderScales.h"

#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace sonari {
namespace {

template <typename Event, typename... Args>
void Raise(const Event& event, Args... args) {
    if (event)
        event(args...);
}

} // namespace

TMainView::TMainView(QMainWindow& window, const TWdmAudio& audio, TDeviceSelection& selection,
                     TStartOptions& startOptions, const TEditorContext& editors)
    : Prompts(&window), window_(window), tray_(window) {
    BuildControls(editors);
    ConnectHandlers();
    sndCardDialog_ = new TSndCardDialog(
        audio, selection, [&audio] { return audio.CaptureNames(); },
        [&audio] { return audio.RenderNames(); }, &window);
    sndCardDialog_->OnOk = [this] { Raise(OnDevicesChosen); };
    sndCardDialog_->OnClosed = [this] { Raise(OnDevicesDialogClosed); };
    startOptionsDialog_ =
        new TStartOptionsDialog(startOptions.InTray, startOptions.Processing, &window);
    startOptionsDialog_->OnError = [this](const QString& message) { Prompts.ShowError(message); };
    aboutDialog_ = new TAboutDialog(&window);
}

void TMainView::ConnectHandlers() {
    QObject* context = &window_;
    for (int tag = 0; tag < static_cast<int>(stepButtons_.size()); ++tag)
        QObject::connect(stepButtons_[tag], &QPushButton::clicked, context,
                         [this, tag](bool down) { Raise(OnStepClicked, tag, down); });
    const auto click = [context](QAbstractButton* button, const std::function<void()>& event) {
        QObject::connect(button, &QAbstractButton::clicked, context,
                         [event = &event] { Raise(*event); });
    };
    click(speedButton7_, OnLoadProfile);
    click(speedButton5_, OnSaveProfile);
    click(speedButton1_, OnRun);
    click(speedButton3_, OnStop);
    click(speedButton2_, OnResetBands);
    QObject::connect(speedButton4_, &QToolButton::clicked, context,
                     [this] { startOptionsDialog_->exec(); });
    QObject::connect(speedButton6_, &QToolButton::clicked, context,
                     [this] { aboutDialog_->exec(); });
    // clicked, not toggled: setting a box from a profile or the settings raises nothing.
    QObject::connect(checkBox1_, &QCheckBox::clicked, context, [this] {
        ShowSoftGainLook();
        SoftGainChanged();
    });
    QObject::connect(spinEdit2_, &QSpinBox::valueChanged, context, [this] { SoftGainChanged(); });
    QObject::connect(checkBox2_, &QCheckBox::clicked, context,
                     [this](bool on) { Raise(OnEqualizerSwitched, on); });
    QObject::connect(checkBox3_, &QCheckBox::clicked, context,
                     [this](bool on) { Raise(OnDynamicsSwitched, on); });
    QObject::connect(checkBox5_, &QCheckBox::clicked, context,
                     [this](bool on) { Raise(OnOvershootSwitched, on); });
    QObject::connect(checkBox4_, &QCheckBox::clicked, context, [this](bool on) {
        for (QWidget* control :
             std::initializer_list<QWidget*>{volumeSlider2_, radioButton1_, radioButton2_})
            control->setEnabled(on);
        label8_->clear();
        NoiseChanged();
    });
    QObject::connect(radioButton1_, &QRadioButton::toggled, context, [this] { NoiseChanged(); });
    // Each slider stands for its own dB range; the hints say what it is set to.
    volumeSlider1_->OnChange = [this] {
        volumeSlider1_->SetHint(PlaybackVolumeHint(PlaybackGainDb(volumeSlider1_->Value())));
        Raise(OnPlaybackVolumeChanged, volumeSlider1_->Value());
    };
    volumeSlider2_->OnChange = [this] { Raise(OnNoiseLevelChanged, volumeSlider2_->Value()); };
    volumeSlider3_->OnChange = [this] {
        volumeSlider3_->SetHint(OutputGainHint(OutputGainDb(volumeSlider3_->Value())));
        Raise(OnOutputGainChanged, volumeSlider3_->Value());
    };
}

// Window colour while the gain can be edited, button face while not.
void TMainView::ShowSoftGainLook() {
    const bool on = checkBox1_->isChecked();
    spinEdit2_->setEnabled(on);
    QPalette palette = spinEdit2_->palette();
    const QColor base = window_.palette().color(on ? QPalette::Base : QPalette::Button);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, base);
    spinEdit2_->setPalette(palette);
}

void TMainView::SoftGainChanged() {
    Raise(OnSoftGainChanged, checkBox1_->isChecked(), int32_t{spinEdit2_->value()});
}

void TMainView::NoiseChanged() {
    Raise(OnNoiseChanged, checkBox4_->isChecked(), radioButton1_->isChecked());
}

// ---- the engine's reports ------------------------------------------------------------------

// Cut to the frame, so an input far beyond full scale cannot make an absurd widget.
void TMainView::ShowInputLevels(const TInputLevels& levels) {
    const int64_t frame = panel4_->width();
    const TInputBar bar = InputBarGeometry(levels, int32_t(frame));
    const int64_t left = std::clamp<int64_t>(bar.Left, 0, frame);
    const int64_t right = std::clamp<int64_t>(int64_t{bar.Left} + bar.Width, left, frame);
    shape2_->setGeometry(int(left), shape2_->y(), int(right - left), shape2_->height());
    shape2_->SetBrush(bar.Red ? QColor(255, 0, 0) : QColor(0, 255, 0));
}

void TMainView::ShowOutputFigures(const TOutputFigures& figures) {
    label19_->setText(DbfsCaption(figures.RmsDbfs));
    label20_->setText(DbfsCaption(figures.PeakDbfs));
    label21_->setText(DbCaption(static_cast<long double>(figures.PeakDbfs) - figures.RmsDbfs));
    ShowOutputLevel(figures.RmsDbfs, figures.PeakDbfs);
    if (figures.PepSnrDb)
        label8_->setText(DbCaption(*figures.PepSnrDb));
}

void TMainView::ShowOutputLevel(float rmsDb, float peakDb) {
    const TOutputBar bar = OutputBarGeometry(rmsDb, peakDb, shape10_->width());
    shape11_->resize(bar.Width, shape11_->height());
    shape12_->move(bar.MarkLeft, 0);
    shape13_->SetBrush(bar.Clip ? QColor(Qt::red) : QColor(Qt::gray));
}

void TMainView::ShowOverload(bool overloaded) { volumeSlider1_->SetOverloaded(overloaded); }

void TMainView::ShowProgress(float fraction) {
    progressBar1_->setValue(ProgressPosition(fraction, progressBar1_->maximum()));
}

void TMainView::RepaintSpectra() { paintBox1_->update(); }

void TMainView::RepaintHistograms() { paintBox2_->update(); }

void TMainView::EnableNoise(bool available) { checkBox4_->setEnabled(available); }

// ---- modes ---------------------------------------------------------------------------------

void TMainView::ShowStep(TDspMode mode) {
    const int down = mode == dmPlayToFile ? int{dmPlay} : int{mode};
    for (int tag = 0; tag < static_cast<int>(stepButtons_.size()); ++tag)
        stepButtons_[tag]->setChecked(tag == down);
}

void TMainView::EnableSteps(bool devicesValid, bool hasVoice) {
    stepButtons_[dmAdjustGain]->setEnabled(devicesValid);
    stepButtons_[dmRecord]->setEnabled(devicesValid);
    stepButtons_[dmPlay]->setEnabled(devicesValid && hasVoice);
}

void TMainView::ClearDisplays() {
    shape2_->resize(0, shape2_->height());
    progressBar1_->setValue(0);
    for (QLabel* label : {label19_, label20_, label21_, label8_})
        label->clear();
    ShowOutputLevel(-999, -999);
}

void TMainView::ShowRunning(bool running) {
    tray_.ShowRunning(running);
    (running ? speedButton1_ : speedButton3_)->setChecked(true);
}

void TMainView::ShowLowerArea(bool shown) { panel11_->setVisible(shown); }

void TMainView::RepaintEditors() {
    paintBox1_->update();
    paintBox2_->update();
}

void TMainView::ShowNote(const QString& note) {
    if (note.isEmpty())
        statusBar1_->clearMessage();
    else
        statusBar1_->showMessage(note);
}

void TMainView::SelectDevices() { sndCardDialog_->exec(); }

bool TMainView::DisplaysVisible() const { return window_.isVisible() && !window_.isMinimized(); }

void TMainView::Post(std::function<void()> call) { QTimer::singleShot(0, &window_, call); }

// ---- profile and settings ------------------------------------------------------------------

void TMainView::ShowProfileText(const QString& text) { statusLabel_->setText(text); }

void TMainView::ShowSwitches(const TMicEqualizer& equalizer) {
    checkBox2_->setChecked(equalizer.EqualizerEnabled());
    checkBox3_->setChecked(equalizer.ClipperEnabled());
    checkBox5_->setChecked(equalizer.OvershootControl());
    checkBox5_->setEnabled(equalizer.ClipperEnabled());
}

float TMainView::OutputGain() const { return volumeSlider3_->Value(); }

void TMainView::ShowOutputGain(float value) {
    volumeSlider3_->SetValue(value);
    volumeSlider3_->SetHint(OutputGainHint(OutputGainDb(volumeSlider3_->Value())));
}

QPoint TMainView::Position() const { return window_.pos(); }

void TMainView::MoveTo(QPoint position) { window_.move(position); }

TSettingsControls TMainView::SettingsControls() const {
    return {spinEdit2_->value(), checkBox1_->isChecked(), volumeSlider1_->Value(),
            volumeSlider2_->Value(), sndCardDialog_->LowLatency()};
}

void TMainView::ShowSettingsControls(const TSettingsControls& controls) {
    spinEdit2_->setValue(controls.SoftGain);
    checkBox1_->setChecked(controls.SoftGainEnabled);
    ShowSoftGainLook();
    volumeSlider1_->SetValue(controls.PlaybackVolume);
    volumeSlider2_->SetValue(controls.NoiseLevel);
    sndCardDialog_->SetLowLatency(controls.LowLatency);
}

} // namespace sonari
