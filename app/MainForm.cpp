// Creation and destruction of the main window and the mode switch.
#include "app/MainForm.h"

#include "SND/Exceptions.h"
#include "SND/WDM/WdmErrors.h"
#include "app/AboutDialog.h"
#include "app/AppIcons.h"
#include "app/EditorGeometry.h"
#include "app/Shape.h"
#include "app/ShellUtils.h"
#include "app/SndCardDialog.h"
#include "app/StartOptionsDialog.h"
#include "controls/SafeShutdown.h"
#include "controls/TrayIcon.h"
#include "controls/VolumeSlider.h"
#include "engine/SliderScales.h"
#include "settings/SettingsFile.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace sonari {
namespace {

const QStringList kProfileFilters = {"Profiles (*.ini)", "All files (*)"};
constexpr const char* kRecordPrompt = "Click on OK to start recording:";

QString ExceptionText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromStdString(ErrorMessage(e));
    } catch (...) {
        return "Unknown error";
    }
}

} // namespace

TMainForm::TMainForm(TWdmAudio& audio, TSynchronizer& synchronizer, TSoundFolders folders,
                     QWidget* parent)
    : QMainWindow(parent), Prompts(this), audio_(audio), synchronizer_(synchronizer),
      folders_(std::move(folders)) {
    CtrlHeld = [] {
        return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
    };
    // The editors draw the engine's data, so the engine exists before the controls; it reads
    // and writes them only from LoadSoundFiles on.
    Dsp = std::make_unique<TDsp>(audio_, synchronizer_, *this, Selection, folders_);
    BuildControls();
    BuildTrayMenu();
    ConnectHandlers();
    // Blocks reach this thread through posted events; each one runs the pending hand-overs.
    synchronizer_.OnWakeUp = [this] {
        QMetaObject::invokeMethod(
            this, [this] { PumpSynchronizer(); }, Qt::QueuedConnection);
    };

    TrayIcon1->SetIcon(StopIcon());
    ShapeMid->move(Panel4->width() / 2 - 1, 0);
    profileFolder_ = QString::fromStdString(SettingsFolder()) + "Prof";
    ForceDirectories(profileFolder_.toStdString());
    OpenDialog1 = {"Load Profile", profileFolder_, kProfileFilters, "ini", {}, false};
    SaveDialog1 = {"Save profile", profileFolder_, kProfileFilters, "ini", {}, true};
    LoadSoundFiles();
    LoadStartupFiles();
    PushControls();
    UpdateStepButtons();
    QGuiApplication::setApplicationDisplayName(kApplicationTitle);
    setWindowTitle(kApplicationTitle);
    CreateDialogs();
    // A session end or SIGTERM ends the program without asking about the profile; the exit
    // skips this window's destructor, so the handler does its work.
    SafeShutdown1 = new TSafeShutdown(this);
    SafeShutdown1->OnShutdown = [this] {
        Dsp->Stop();
        WriteSettings();
    };
}

TMainForm::~TMainForm() {
    Dsp->Stop();
    // No streaming thread is left to wake this window up.
    synchronizer_.OnWakeUp = nullptr;
    WriteSettings();
}

void TMainForm::LoadSoundFiles() {
    Dsp->LoadSoundFiles();
    CheckBox4->setEnabled(Dsp->HasNoise());
}

// Settings, then the last profile. A bad settings value ends the settings load there; the
// start goes on so the window comes up usable, and the file is kept as it was, since the keys
// after the bad one will be written with their defaults when the program ends.
void TMainForm::LoadStartupFiles() {
    const std::string settings = SettingsFileName();
    TAppSettings loaded = CollectSettings();
    loaded.HasPosition = false;
    try {
        LoadSettings(settings, loaded);
    } catch (const std::exception& e) {
        ApplySettings(loaded);
        const std::string copy = settings + ".bak";
        std::error_code error;
        std::filesystem::copy_file(settings, copy,
                                   std::filesystem::copy_options::overwrite_existing, error);
        Error(std::string(e.what()) + "\n\nThe settings in " + settings + " could not all be read" +
              (error ? "." : "; the file was kept as " + copy + "."));
        return;
    }
    ApplySettings(loaded);
    if (profileFileName_.empty() || !QFileInfo(QString::fromStdString(profileFileName_)).isFile())
        return;
    TProfile profile = CurrentProfile();
    try {
        LoadProfile(profileFileName_, profile);
    } catch (const std::exception& e) {
        Error(e.what());
        return;
    }
    ApplyProfileToControls(profile);
    BecomeCurrentProfile(profileFileName_);
}

// What the engine applies comes from the controls, whose values it does not read itself.
void TMainForm::PushControls() {
    Dsp->SetSoftwareGain(CheckBox1->isChecked(), SpinEdit2->value());
    Dsp->SetPlaybackGainDb(PlaybackGainDb(VolumeSlider1->Value()));
    Dsp->SetOutputGainDb(OutputGainDb(VolumeSlider3->Value()));
    Dsp->SetNoise(CheckBox4->isChecked(), RadioButton1->isChecked());
}

void TMainForm::CreateDialogs() {
    SndCardDialog =
        new TSndCardDialog(audio_, Selection, audio_.CaptureNames(), audio_.RenderNames(), this);
    SndCardDialog->OnOk = [this] { UpdateStepButtons(); };
    SndCardDialog->OnClosed = [this] { SetMode(dmStop); };
    StartOptionsDialog = new TStartOptionsDialog(startInTray_, startProcessing_, this);
    StartOptionsDialog->OnError = [this](const QString& message) { Prompts.ShowError(message); };
    AboutDialog = new TAboutDialog(this);
}

void TMainForm::WriteSettings() {
    try {
        SaveSettings(SettingsFileName(), CollectSettings());
    } catch (const std::exception& e) {
        Prompts.ShowError(QString::fromStdString(e.what()));
    }
}

// ---- mode switch ---------------------------------------------------------------------------

void TMainForm::SetMode(TDspMode mode) {
    if (mode == dmPlay && CtrlHeld())
        mode = dmPlayToFile;
    ++run_;
    StatusBar1->clearMessage();
    ShowStepButtons(mode);
    Dsp->Stop();
    ClearDisplays();
    ShowRunningLook(false);
    Dsp->SetMode(mode);
    StartMode(mode);
    // What follows reads the engine's mode again: a nested SetMode(dmStop) made while starting
    // (dialog closed, prompt cancelled, failure) wins.
    Panel11->setVisible(Dsp->Mode() != dmAdjustGain && Dsp->Mode() != dmRecord);
    ShowRunningLook(Dsp->Mode() == dmProcess);
    PaintBox1->update();
    PaintBox2->update();
}

void TMainForm::ShowStepButtons(TDspMode mode) {
    const int down = mode == dmPlayToFile ? int{dmPlay} : int{mode};
    for (int tag = 0; tag < static_cast<int>(StepButtons.size()); ++tag)
        StepButtons[tag]->setChecked(tag == down);
}

void TMainForm::ClearDisplays() {
    Shape2->resize(0, Shape2->height());
    ProgressBar1->setValue(0);
    for (QLabel* label : {Label19, Label20, Label21, Label8})
        label->clear();
    ShowOutputLevel(-999, -999);
}

void TMainForm::StartMode(TDspMode mode) {
    try {
        switch (mode) {
        case dmSelectDevices:
            SndCardDialog->exec();
            break;
        case dmAdjustGain:
            Dsp->StartInput();
            break;
        case dmRecord:
            if (!Prompts.ConfirmOkCancel(kRecordPrompt)) {
                SetMode(dmStop);
                break;
            }
            Dsp->StartRecording();
            break;
        case dmPlay:
            Dsp->StartOutput();
            break;
        case dmPlayToFile:
            Dsp->StartOutputToFile();
            break;
        case dmProcess:
            // Hidden in the tray nothing shows the displays: they are not computed.
            Dsp->SetDisplaysVisible(isVisible() && !isMinimized());
            Dsp->StartDuplex();
            break;
        case dmStop:
            break;
        }
    } catch (...) {
        // Silence the devices before the box waits for the operator.
        Dsp->Stop();
        Prompts.ShowError(ExceptionText(std::current_exception()));
        SetMode(dmStop);
    }
}

void TMainForm::ModeBtnClick(int tag, bool down) {
    SetMode(down ? static_cast<TDspMode>(tag) : dmStop);
}

void TMainForm::UpdateStepButtons() {
    const bool valid = Dsp->DevicesValid();
    GainBtn->setEnabled(valid);
    RecBtn->setEnabled(valid);
    PlayBtn->setEnabled(valid && Dsp->HasVoice());
}

void TMainForm::MarkModified() {
    modified_ = true;
    StatusLabel->setText("  Modified profile");
}

QString TMainForm::StatusText() const { return StatusLabel->text(); }

void TMainForm::ShowOutputLevel(float rmsDb, float peakDb) {
    const int width = Shape10->width();
    Shape11->resize(std::clamp(width + RoundHalfEven(2.0L * rmsDb), 0, width), Shape11->height());
    Shape12->move(width + RoundHalfEven(2.0L * peakDb) - 2, 0);
    Shape13->SetBrush(peakDb >= 0 ? QColor(Qt::red) : QColor(Qt::gray));
}

// ---- messages from the engine, handled after its block handler returned -------------------

void TMainForm::PumpSynchronizer() {
    try {
        synchronizer_.CheckSynchronize();
    } catch (...) {
        Error(ExceptionText(std::current_exception()).toStdString());
    }
}

void TMainForm::RecordingCompleteMessage(int run) {
    if (run != run_)
        return; // already stopped, or the operator has chosen something else since
    const TDspMode mode = Dsp->Mode();
    SetMode(dmStop);
    if (mode == dmRecord && Dsp->LoadVoice())
        PlayBtn->setEnabled(true);
}

void TMainForm::ShowQueuedErrors() {
    while (!pendingErrors_.isEmpty()) {
        errorShowing_ = pendingErrors_.takeFirst();
        Prompts.ShowError(errorShowing_);
        errorShowing_.clear();
    }
    errorsPosted_ = false;
}

void TMainForm::HandleStreamEnded(int run, const QString& reason) {
    if (run != run_)
        return; // the operator has stopped or started another run since
    SetMode(dmStop);
    const QString text = "Streaming stopped: " + reason;
    StatusBar1->showMessage("  " + text);
    Prompts.ShowError(text);
}

// ---- closing -------------------------------------------------------------------------------

bool TMainForm::CloseQuery() { return OfferToSave("Save modified profile?"); }

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!CloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    if (OnClosed)
        QTimer::singleShot(0, this, [this] { OnClosed(); });
}

} // namespace sonari
