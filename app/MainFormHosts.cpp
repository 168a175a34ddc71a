// The main window as the engine, the settings file and the profiles see it.
#include "app/MainForm.h"
#include "app/Shape.h"
#include "controls/VolumeSlider.h"

#include <QTimer>

#include <algorithm>

namespace sonari {

// ---- IDspView: read ------------------------------------------------------------------------

bool TMainForm::SoftwareGainEnabled() const { return CheckBox1->isChecked(); }
int32_t TMainForm::SoftwareGainDb() const { return SpinEdit2->value(); }
float TMainForm::PlaybackVolume() const { return VolumeSlider1->Value(); }
float TMainForm::OutputGain() const { return VolumeSlider3->Value(); }
bool TMainForm::EqualizerChecked() const { return CheckBox2->isChecked(); }
bool TMainForm::ClipperChecked() const { return CheckBox3->isChecked(); }
bool TMainForm::AddNoiseChecked() const { return CheckBox4->isChecked(); }
bool TMainForm::QrnSelected() const { return RadioButton1->isChecked(); }
bool TMainForm::WindowVisible() const { return isVisible() && !isMinimized(); }
int32_t TMainForm::InputBarClientWidth() const { return Panel4->width(); }
int32_t TMainForm::ProgressMax() const { return ProgressBar1->maximum(); }

// ---- IDspView: write -----------------------------------------------------------------------

// Cut to the frame, so an input far beyond full scale cannot make an absurd widget.
void TMainForm::SetInputBar(const TInputBar& bar) {
    const int64_t frame = Panel4->width();
    const int64_t left = std::clamp<int64_t>(bar.Left, 0, frame);
    const int64_t right = std::clamp<int64_t>(int64_t{bar.Left} + bar.Width, left, frame);
    Shape2->setGeometry(int(left), Shape2->y(), int(right - left), Shape2->height());
    Shape2->SetBrush(bar.Red ? QColor(255, 0, 0) : QColor(0, 255, 0));
}

void TMainForm::ShowOutputFigures(const TOutputFigures& figures) {
    Label19->setText(QString::fromStdString(DbfsCaption(figures.Rms)));
    Label20->setText(QString::fromStdString(DbfsCaption(figures.Peak)));
    Label21->setText(QString::fromStdString(DbCaption(figures.PeakFactor)));
    ShowOutputLevel(figures.RmsDbfs, figures.PeakDbfs);
    if (figures.PepSnr)
        Label8->setText(QString::fromStdString(DbCaption(*figures.PepSnr)));
}

void TMainForm::SetPlaybackOverload(bool overloaded) { VolumeSlider1->SetOverloaded(overloaded); }
void TMainForm::InvalidateEqualizer() { PaintBox1->update(); }
void TMainForm::InvalidateDynamics() { PaintBox2->update(); }

// The last block of a recording may go past the maximum; the bar stops there.
void TMainForm::SetProgressPosition(int32_t position) {
    ProgressBar1->setValue(std::clamp(position, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

void TMainForm::EnablePlayButton() { PlayBtn->setEnabled(true); }
void TMainForm::EnableAddNoise() { CheckBox4->setEnabled(true); }

bool TMainForm::Confirm(const std::string& question) {
    return Prompts.ConfirmOkCancel(QString::fromStdString(question));
}

void TMainForm::RequestStop() { SetMode(dmStop); }

// Queued, so the block handler never waits for the operator; a message already waiting or
// on screen is not stacked again.
void TMainForm::ShowError(const std::string& message) {
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

// ---- ISettingsHost -------------------------------------------------------------------------

int32_t TMainForm::WindowLeft() const { return x(); }
int32_t TMainForm::WindowTop() const { return y(); }

void TMainForm::SetWindowPosition(int32_t left, int32_t top) {
    positioned_ = true;
    move(left, top);
}

int32_t TMainForm::SoftGain() const { return SpinEdit2->value(); }
void TMainForm::SetSoftGain(int32_t gainDb) { SpinEdit2->setValue(gainDb); }
bool TMainForm::SoftGainEnabled() const { return CheckBox1->isChecked(); }

void TMainForm::SetSoftGainEnabled(bool enabled) {
    CheckBox1->setChecked(enabled);
    CheckBox1Click();
}

void TMainForm::SetPlaybackVolume(float position) { VolumeSlider1->SetValue(position); }
float TMainForm::NoiseLevel() const { return VolumeSlider2->Value(); }
void TMainForm::SetNoiseLevel(float position) { VolumeSlider2->SetValue(position); }
void TMainForm::SetNoiseSnrDb(float snrDb) { Dsp->NoiseSnrDb = snrDb; }
std::string TMainForm::ProfileFileName() const { return profileFileName_; }
void TMainForm::SetProfileFileName(const std::string& fileName) { profileFileName_ = fileName; }
void TMainForm::SetToneMode(int32_t toneMode) { Dsp->ToneMode = toneMode; }
bool TMainForm::StartInTray() const { return startInTray_; }
void TMainForm::SetStartInTray(bool startInTray) { startInTray_ = startInTray; }
bool TMainForm::StartProcessing() const { return startProcessing_; }
void TMainForm::SetStartProcessing(bool startProcessing) { startProcessing_ = startProcessing; }

// ---- IProfileHost --------------------------------------------------------------------------

TMicEqualizer& TMainForm::Equalizer() { return Dsp->Equalizer; }
void TMainForm::SetEqualizerChecked(bool checked) { CheckBox2->setChecked(checked); }
void TMainForm::SetClipperChecked(bool checked) { CheckBox3->setChecked(checked); }
void TMainForm::SetOutputGain(float position) { VolumeSlider3->SetValue(position); }
void TMainForm::OutputGainChanged() { VolumeSlider3Change(); }

void TMainForm::SetStatusText(const std::string& text) {
    StatusLabel->setText(QString::fromStdString(text));
}

void TMainForm::SetModified(bool modified) { modified_ = modified; }

} // namespace sonari
