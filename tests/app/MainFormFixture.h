#pragma once

#include "SND/WDM/Sim/SimDemo.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "app/AppIcons.h"
#include "app/MainForm.h"
#include "controls/TrayIcon.h"
#include "settings/SettingsFile.h"
#include "tests/SND/WDM/Sim/SimTestPlatform.h"
#include "tests/app/AppEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

namespace sonari::test {

// A control of the window by its designer name, as the operator would find it.
template <typename T = QWidget>
T& Find(const QObject& root, const char* name) {
    auto* found = dynamic_cast<T*>(root.findChild<QObject*>(name));
    if (!found)
        throw std::runtime_error(std::string("no control named ") + name);
    return *found;
}

// Tray, tray menu and toolbar all show whether live processing runs.
inline bool LooksRunning(const QObject& form, bool running) {
    return Find<QAction>(form, "TrayRunMNU").isChecked() == running &&
           Find<QAction>(form, "TrayStopMNU").isChecked() == !running &&
           Find<QAbstractButton>(form, "SpeedButton1").isChecked() == running &&
           Find<QAbstractButton>(form, "SpeedButton3").isChecked() == !running &&
           Find<TTrayIcon>(form, "TrayIcon1").Icon().cacheKey() ==
               (running ? RunIcon() : StopIcon()).cacheKey();
}

// The main window over the two demo devices (0 "Demo microphone", 1 "Demo transmitter") on an
// accelerated clock (blocks flow as fast as the streaming thread makes them) or the real one,
// with a private settings folder and every question answered by the test.
class TMainFormTest : public ::testing::Test {
protected:
    explicit TMainFormTest(TSimPlatform::TClock clock = TSimPlatform::scAccelerated) {
        auto platform = std::make_unique<TSimTestPlatform>(clock);
        Sim = platform.get();
        AddDemoDevices(*Sim);
        Audio = std::make_unique<TWdmAudio>(std::move(platform));
    }

    std::filesystem::path UserWav() const {
        return std::filesystem::path(SettingsFolder()) / "Wav";
    }

    // A voice recording for step 4.
    void GiveVoice() const {
        std::filesystem::create_directories(UserWav());
        std::filesystem::copy_file(SourceDir() / "data/Wav/DemoVoice.wav", UserWav() / "Voice.wav",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // With `ready`, microphone in and transmitter out.
    TMainForm& MakeForm(bool ready = false) {
        const TSoundFolders folders{UserWav().string() + "/",
                                    {(BinaryDir() / "bin/Wav/").string()}};
        Form = std::make_unique<TMainForm>(*Audio, Sync, folders);
        TPrompts& prompts = Form->Prompts();
        prompts.ShowError = [this](const QString& message) { Errors << message; };
        prompts.AskYesNoCancel = [this](const QString& question) {
            Questions << question;
            return YesNoCancel;
        };
        prompts.ConfirmOkCancel = [this](const QString& question) {
            Questions << question;
            return true;
        };
        prompts.ChooseFile = [this](const TFileDialogState& dialog) {
            Dialogs.push_back(dialog);
            return ChosenFile;
        };
        Form->Modes().CtrlHeld = [this] { return Ctrl; };
        QCoreApplication::processEvents(); // errors queued while it was built
        if (ready) {
            Form->Selection() = {0, 1};
            Form->Modes().UpdateStepButtons();
        }
        return *Form;
    }

    TDspMode Mode() const { return Form->Dsp().Mode(); }
    bool Modified() const { return Form->Profiles().Modified(); }
    QString StatusText() const { return Find<QLabel>(*Form, "StatusLabel").text(); }
    void Click(const char* name) const { Find<QAbstractButton>(*Form, name).click(); }

    static bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
        return QTest::qWaitFor(done, timeoutMs);
    }

    TPrivateConfig Config;
    TSimTestPlatform* Sim = nullptr;
    TSynchronizer Sync;
    std::unique_ptr<TWdmAudio> Audio;

    // What the operator answers and what was asked.
    QMessageBox::StandardButton YesNoCancel = QMessageBox::Cancel;
    QString ChosenFile;
    bool Ctrl = false;
    QStringList Errors;
    QStringList Questions;
    std::vector<TFileDialogState> Dialogs;

    std::unique_ptr<TMainForm> Form;
};

} // namespace sonari::test
