#include "app/Program.h"

#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "app/AppIcons.h"
#include "app/MainForm.h"
#include "app/SingleInstance.h"
#include "engine/AudioSetup.h"
#include "settings/SettingsFile.h"

#include <QApplication>

namespace sonari {

int RunProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("sonari");
    QApplication::setWindowIcon(ProgramIcon());
    // The window may live in the tray while a message box is the only one shown: closing that
    // box must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    TSingleInstance instance;
    if (!instance.Start())
        return 0;

    TSynchronizer synchronizer;
    const TSoundFolders folders = ProgramSoundFolders(SettingsFolder());
    TProgramAudio programAudio = CreateProgramAudio(folders);
    TWdmAudio audio(std::move(programAudio.Platform));

    TMainForm mainForm(audio, synchronizer, folders);
    instance.OnRestoreRequest = [&mainForm] { mainForm.TrayRestoreMNUClick(); };
    mainForm.OnClosed = [] { QApplication::quit(); };
    for (const std::string& warning : programAudio.Warnings)
        mainForm.Error(warning);
    mainForm.Launch();
    return app.exec();
}

} // namespace sonari
