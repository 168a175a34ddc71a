// The handlers of the main window's buttons, check boxes and sliders.
#include "app/AboutDialog.h"
#include "app/MainForm.h"
#include "app/StartOptionsDialog.h"
#include "controls/VolumeSlider.h"
#include "engine/SliderScales.h"

namespace sonari {

QString PlaybackVolumeHint(float db) {
    return QString::asprintf(db > 0 ? "+%.0f dB" : "%.0f dB", double(db));
}

QString OutputGainHint(float db) {
    return db == 0 ? QString("0 dB") : QString::asprintf("%.0f dB", double(db));
}

void TMainForm::ConnectHandlers() {
    for (int tag = 0; tag < static_cast<int>(StepButtons.size()); ++tag)
        connect(StepButtons[tag], &QPushButton::clicked, this,
                [this, tag](bool down) { ModeBtnClick(tag, down); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { SpeedButton7Click(); });
    connect(SpeedButton5, &QToolButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { TrayRunMNUClick(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { TrayStopMNUClick(); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { StartOptionsClick(); });
    connect(SpeedButton6, &QToolButton::clicked, this, [this] { AboutClick(); });
    // clicked, not toggled: setting a box from a profile or the settings runs no handler.
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(); });
    connect(CheckBox3, &QCheckBox::clicked, this, [this] { CheckBox3Click(); });
    connect(CheckBox4, &QCheckBox::clicked, this, [this] { CheckBox4Click(); });
    connect(SpinEdit2, &QSpinBox::valueChanged, this, [this] { SpinEdit2Change(); });
    connect(RadioButton1, &QRadioButton::toggled, this,
            [this] { Dsp->SetNoise(CheckBox4->isChecked(), RadioButton1->isChecked()); });
    connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    VolumeSlider1->OnChange = [this] { VolumeSlider1Change(); };
    VolumeSlider2->OnChange = [this] { VolumeSlider2Change(); };
    VolumeSlider3->OnChange = [this] { VolumeSlider3Change(); };
}

void TMainForm::StartOptionsClick() { StartOptionsDialog->exec(); }

void TMainForm::AboutClick() { AboutDialog->exec(); }

// ---- switches ------------------------------------------------------------------------------

void TMainForm::CheckBox1Click() {
    const bool on = CheckBox1->isChecked();
    SpinEdit2->setEnabled(on);
    // Window colour while it can be edited, button face while not.
    QPalette palette = SpinEdit2->palette();
    const QColor base = this->palette().color(on ? QPalette::Base : QPalette::Button);
    palette.setColor(QPalette::Active, QPalette::Base, base);
    palette.setColor(QPalette::Inactive, QPalette::Base, base);
    palette.setColor(QPalette::Disabled, QPalette::Base, base);
    SpinEdit2->setPalette(palette);
    SpinEdit2Change();
}

void TMainForm::SpinEdit2Change() {
    Dsp->SetSoftwareGain(CheckBox1->isChecked(), SpinEdit2->value());
}

// The dynamics stage never runs without the equalizer.
void TMainForm::CheckBox2Click() {
    const bool on = CheckBox2->isChecked();
    if (!on)
        CheckBox3->setChecked(false);
    Dsp->EditEqualizer([on](TMicEqualizer& equalizer) {
        equalizer.SetEqualizerEnabled(on);
        if (!on)
            equalizer.SetClipperEnabled(false);
    });
    MarkModified();
}

void TMainForm::CheckBox3Click() {
    const bool on = CheckBox3->isChecked();
    if (on)
        CheckBox2->setChecked(true);
    Dsp->EditEqualizer([on](TMicEqualizer& equalizer) {
        equalizer.SetClipperEnabled(on);
        if (on)
            equalizer.SetEqualizerEnabled(true);
    });
    MarkModified();
}

void TMainForm::CheckBox4Click() {
    const bool on = CheckBox4->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{VolumeSlider2, RadioButton1, RadioButton2})
        control->setEnabled(on);
    Label8->clear();
    Dsp->SetNoise(on, RadioButton1->isChecked());
}

void TMainForm::SpeedButton2Click() {
    Dsp->EditEqualizer([](TMicEqualizer& equalizer) { equalizer.SetBands({}); });
    PaintBox1->update();
    MarkModified();
}

// ---- sliders: each with its own dB mapping -------------------------------------------------

void TMainForm::VolumeSlider1Change() {
    const float db = PlaybackGainDb(VolumeSlider1->Value());
    Dsp->SetPlaybackGainDb(db);
    VolumeSlider1->SetHint(PlaybackVolumeHint(db));
}

void TMainForm::VolumeSlider2Change() { Dsp->SetNoiseSnrDb(NoiseSnrDb(VolumeSlider2->Value())); }

// Marks the profile modified only when the gain differs from the one the output runs with.
void TMainForm::VolumeSlider3Change() {
    const float db = OutputGainDb(VolumeSlider3->Value());
    const bool differs = db != Dsp->InterpolatorGainDb();
    Dsp->SetOutputGainDb(db);
    if (differs)
        MarkModified();
    VolumeSlider3->SetHint(OutputGainHint(db));
}

// ---- profiles ------------------------------------------------------------------------------

// Asks `question` while the profile is modified; Yes saves first (its dialog may still be
// cancelled). False when the operator cancels.
bool TMainForm::OfferToSave(const QString& question) {
    if (!modified_)
        return true;
    switch (Prompts.AskYesNoCancel(question)) {
    case QMessageBox::Yes:
        SpeedButton5Click();
        return true;
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void TMainForm::SpeedButton7Click() {
    if (!OfferToSave(kSaveChanges))
        return;
    if (!SaveDialog1.FileName.isEmpty())
        OpenDialog1.FileName = SaveDialog1.FileName;
    const QString chosen = Prompts.ChooseFile(OpenDialog1);
    if (chosen.isEmpty())
        return;
    OpenDialog1.FileName = chosen;
    LoadProfileFile(chosen);
}

void TMainForm::SpeedButton5Click() {
    SaveDialog1.FileName = QString::fromStdString(profileFileName_);
    const QString chosen = Prompts.ChooseFile(SaveDialog1);
    if (chosen.isEmpty())
        return;
    SaveDialog1.FileName = chosen;
    SaveProfileFile(chosen);
}

// A file that cannot be read leaves the current profile.
void TMainForm::LoadProfileFile(const QString& fileName) {
    TProfile profile = CurrentProfile();
    try {
        LoadProfile(fileName.toStdString(), profile);
    } catch (const std::exception& e) {
        Prompts.ShowError(QString::fromStdString(e.what()));
        return;
    }
    ApplyProfileToControls(profile);
    BecomeCurrentProfile(fileName.toStdString());
    PaintBox1->update();
    PaintBox2->update();
}

void TMainForm::SaveProfileFile(const QString& fileName) {
    try {
        SaveProfile(fileName.toStdString(), CurrentProfile());
    } catch (const std::exception& e) {
        Prompts.ShowError(QString::fromStdString(e.what()));
        return;
    }
    BecomeCurrentProfile(fileName.toStdString());
}

} // namespace sonari
