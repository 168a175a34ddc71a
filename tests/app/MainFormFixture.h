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

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace sonari::test {

// The tray shows that icon.
inline bool ShowsIcon(const TMainForm& form, const QIcon& icon) {
    return form.TrayIcon1->Icon().cacheKey() == icon.cacheKey();
}

// The main window over the two demo devices (0 "Demo microphone", 1 "Demo transmitter") on an
// accelerated clock, so blocks flow as fast as the window takes them, with a private settings
// folder and every question answered by the test.
class TMainFormTest : public ::testing::Test {
protected:
    TMainFormTest() {
        auto platform = std::make_unique<TSimTestPlatform>(TSimPlatform::scAccelerated);
        Sim = platform.get();
        AddDemoDevices(*Sim);
        Audio = std::make_unique<TWdmAudio>(std::move(platform));
    }
    ~TMainFormTest() override { Form.reset(); }

    std::filesystem::path SettingsDir() const { return SettingsFolder(); }
    std::filesystem::path UserWav() const { return SettingsDir() / "Wav"; }
    std::filesystem::path SettingsPath() const { return SettingsFileName(); }

    // A voice recording for step 4.
    void GiveVoice() const {
        std::filesystem::create_directories(UserWav());
        std::filesystem::copy_file(SourceDir() / "data/Wav/DemoVoice.wav", UserWav() / "Voice.wav",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    TMainForm& MakeForm() {
        const TSoundFolders folders{UserWav().string() + "/",
                                    {(BinaryDir() / "bin/Wav/").string()}};
        Form = std::make_unique<TMainForm>(*Audio, Sync, folders);
        Answer(*Form);
        QCoreApplication::processEvents(); // errors queued while it was built
        return *Form;
    }

    // Microphone in, transmitter out.
    TMainForm& MakeReadyForm() {
        TMainForm& form = MakeForm();
        form.Selection = {0, 1};
        form.UpdateStepButtons();
        return form;
    }

    void Answer(TMainForm& form) {
        form.Prompts.ShowError = [this](const QString& message) { Errors << message; };
        form.Prompts.AskYesNoCancel = [this](const QString& question) {
            Questions << question;
            return YesNoCancel;
        };
        form.Prompts.ConfirmOkCancel = [this](const QString& question) {
            Questions << question;
            return ConfirmOk;
        };
        form.Prompts.ChooseFile = [this](const TFileDialogState& dialog) {
            Dialogs.push_back(dialog);
            return ChosenFile;
        };
        form.CtrlHeld = [this] { return Ctrl; };
    }

    // Runs the event loop until `done` holds; false after `timeoutMs`.
    template <typename Done>
    static bool WaitFor(Done done, int timeoutMs = 10000) {
        return QTest::qWaitFor(done, timeoutMs);
    }

    TPrivateConfig Config;
    TSimTestPlatform* Sim = nullptr;
    TSynchronizer Sync;
    std::unique_ptr<TWdmAudio> Audio;

    // What the operator answers and what was asked.
    QMessageBox::StandardButton YesNoCancel = QMessageBox::Cancel;
    bool ConfirmOk = true;
    QString ChosenFile;
    bool Ctrl = false;
    QStringList Errors;
    QStringList Questions;
    std::vector<TFileDialogState> Dialogs;

    std::unique_ptr<TMainForm> Form;
};

} // namespace sonari::test
