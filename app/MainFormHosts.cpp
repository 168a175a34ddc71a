// The main window as the engine's view, and the settings and profiles applied to and collected
// from its controls.
#include "SND/Rounding.h"
#include "app/MainForm.h"
#include "app/Shape.h"
#include "controls/VolumeSlider.h"
#include "engine/SliderScales.h"

#include <QTimer>

#include <algorithm>

namespace sonari {

namespace {

constexpr const char* kStatusPrefix = "  Profile: ";

} // namespace

TInputBar InputBarGeometry(const TInputLevels& levels, int32_t clientWidth) {
    const int32_t half = clientWidth / 2;
    TInputBar bar;
    bar.Left = half + RoundHalfEven(static_cast<long double>(half) * levels.Min);
    bar.Width = RoundHalfEven((static_cast<long double>(levels.Max) - levels.Min) * half) + 2;
    bar.Red = levels.Min < -0.8f || levels.Max > 0.8f;
    return bar;
}

QString DbfsCaption(float db) { return QString::number(RoundHalfEven(db)) + " dBFS"; }

QString DbCaption(long double db) { return QString::number(RoundHalfEven(db)) + " dB"; }

// ---- IDspView ------------------------------------------------------------------------------

// Cut to the frame, so an input far beyond full scale cannot make an absurd widget.
void TMainForm::InputLevelsChanged(const TInputLevels& levels) {
    const TInputBar bar = InputBarGeometry(levels, Panel4->width());
    const int64_t frame = Panel4->width();
    const int64_t left = std::clamp<int64_t>(bar.Left, 0, frame);
    const int64_t right = std::clamp<int64_t>(int64_t{bar.Left} + bar.Width, left, frame);
    Shape2->setGeometry(int(left), Shape2->y(), int(right - left), Shape2->height());
    Shape2->SetBrush(bar.Red ? QColor(255, 0, 0) : QColor(0, 255, 0));
}

void TMainForm::OutputFiguresChanged(const TOutputFigures& figures) {
    Label19->setText(DbfsCaption(figures.RmsDbfs));
    Label20->setText(DbfsCaption(figures.PeakDbfs));
    Label21->setText(DbCaption(static_cast<long double>(figures.PeakDbfs) - figures.RmsDbfs));
    ShowOutputLevel(figures.RmsDbfs, figures.PeakDbfs);
    if (figures.PepSnrDb)
        Label8->setText(DbCaption(*figures.PepSnrDb));
}

void TMainForm::OverloadChanged(bool overloaded) { VolumeSlider1->SetOverloaded(overloaded); }
void TMainForm::SpectraChanged() { PaintBox1->update(); }
void TMainForm::HistogramsChanged() { PaintBox2->update(); }

// The last block of a recording may go past the maximum; the bar stops there.
void TMainForm::RecordingProgress(float fraction) {
    const int position =
        RoundHalfEven(static_cast<long double>(ProgressBar1->maximum()) * fraction);
    ProgressBar1->setValue(std::clamp(position, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

// Queued, so the block handler never waits for the operator; a message already waiting or
// on screen is not stacked again.
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

// Reports concern the run that made them: blocks after the 5-second mark report again until
// the stop, and the operator may have moved on before a report is handled.
void TMainForm::RecordingComplete() {
    QTimer::singleShot(0, this, [this, run = run_] { RecordingCompleteMessage(run); });
}

void TMainForm::StreamEnded(const std::string& reason) {
    QTimer::singleShot(0, this, [this, run = run_, text = QString::fromStdString(reason)] {
        HandleStreamEnded(run, text);
    });
}

// ---- settings ------------------------------------------------------------------------------

TAppSettings TMainForm::CollectSettings() const {
    TAppSettings s;
    s.HasPosition = true;
    s.Left = x();
    s.Top = y();
    if (Dsp->DevicesValid()) {
        s.InputDevice = audio_.DeviceName(Selection.InputDeviceIndex);
        s.OutputDevice = audio_.DeviceName(Selection.OutputDeviceIndex);
    }
    s.SoftGain = SpinEdit2->value();
    s.SoftGainEnabled = CheckBox1->isChecked();
    s.PlaybackVolume = VolumeSlider1->Value();
    s.NoiseLevel = VolumeSlider2->Value();
    s.LastProfile = profileFileName_;
    s.ToneMode = Dsp->ToneMode();
    s.StartInTray = startInTray_;
    s.StartProcessing = startProcessing_;
    return s;
}

// A saved device that is gone selects device 0.
void TMainForm::ApplySettings(const TAppSettings& s) {
    if (s.HasPosition) {
        positioned_ = true;
        move(s.Left, s.Top);
    }
    for (auto [name, index] : {std::pair{&s.InputDevice, &Selection.InputDeviceIndex},
                               std::pair{&s.OutputDevice, &Selection.OutputDeviceIndex}})
        if (!name->empty())
            *index = std::max(audio_.IndexOfDevice(*name), 0);
    SpinEdit2->setValue(s.SoftGain);
    CheckBox1->setChecked(s.SoftGainEnabled);
    CheckBox1Click();
    VolumeSlider1->SetValue(s.PlaybackVolume);
    VolumeSlider2->SetValue(s.NoiseLevel);
    Dsp->SetNoiseSnrDb(NoiseSnrDb(VolumeSlider2->Value()));
    profileFileName_ = s.LastProfile;
    Dsp->SetToneMode(s.ToneMode);
    startInTray_ = s.StartInTray;
    startProcessing_ = s.StartProcessing;
}

// ---- profiles ------------------------------------------------------------------------------

TProfile TMainForm::CurrentProfile() const {
    return ProfileOf(Dsp->Equalizer(), VolumeSlider3->Value());
}

// The check boxes follow without running their handlers; the output gain's handler applies the
// gain to a running output.
void TMainForm::ApplyProfileToControls(const TProfile& profile) {
    Dsp->EditEqualizer([&](TMicEqualizer& equalizer) { ApplyProfile(profile, equalizer); });
    CheckBox3->setChecked(profile.ClipperEnabled);
    CheckBox2->setChecked(Dsp->Equalizer().EqualizerEnabled());
    VolumeSlider3->SetValue(profile.OutputGain);
    VolumeSlider3Change();
}

void TMainForm::BecomeCurrentProfile(const std::string& fileName) {
    profileFileName_ = fileName;
    StatusLabel->setText(QString::fromStdString(kStatusPrefix + fileName));
    modified_ = false;
}

} // namespace sonari
