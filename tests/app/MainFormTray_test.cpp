#include "app/SndCardDialog.h"
#include "app/StartOptionsDialog.h"
#include "tests/app/MainFormFixture.h"

#include <QTimer>

namespace sonari::test {
namespace {

using TTrayMenu = TMainFormTest;
using TWindowState = TMainFormTest;

QStringList ProfileCaptions(TMainForm& form) {
    form.PopupMenu1Popup();
    QStringList captions;
    for (const QAction* item : form.ProfilesMNU->actions())
        captions << item->text();
    return captions;
}

// ---- tray icon and menu --------------------------------------------------------------------

TEST_F(TTrayMenu, AClickTogglesProcessingLikeTheToolbarAndCtrlClickOnlyRestores) {
    TMainForm& form = MakeReadyForm();
    form.TrayIcon1Click();
    EXPECT_EQ(form.Dsp->Mode(), dmProcess);
    EXPECT_TRUE(ShowsIcon(form, RunIcon()));
    EXPECT_TRUE(form.TrayRunMNU->isChecked());
    form.TrayIcon1Click();
    EXPECT_EQ(form.Dsp->Mode(), dmStop);
    EXPECT_TRUE(ShowsIcon(form, StopIcon()));
    EXPECT_TRUE(form.TrayStopMNU->isChecked());

    // The toolbar's pair does the same as the menu's.
    form.SpeedButton1->click();
    EXPECT_EQ(form.Dsp->Mode(), dmProcess);
    EXPECT_TRUE(form.TrayRunMNU->isChecked());
    form.SpeedButton3->click();
    EXPECT_EQ(form.Dsp->Mode(), dmStop);
    EXPECT_TRUE(form.TrayStopMNU->isChecked());

    form.hide();
    Ctrl = true;
    form.TrayIcon1Click();
    EXPECT_EQ(form.Dsp->Mode(), dmStop);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Dsp->AnalysisOn());
}

TEST_F(TTrayMenu, RunIsRefusedWhileASetupDialogIsOpen) {
    TMainForm& form = MakeReadyForm();
    for (QDialog* dialog :
         std::initializer_list<QDialog*>{form.SndCardDialog, form.StartOptionsDialog}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        TDspMode modeWhileOpen = dmStop;
        bool runLookWhileOpen = true;
        QTimer::singleShot(0, dialog, [&] {
            form.TrayRunMNU->trigger();
            modeWhileOpen = form.Dsp->Mode();
            runLookWhileOpen = form.TrayRunMNU->isChecked();
            dialog->reject();
        });
        dialog->exec();
        EXPECT_NE(modeWhileOpen, dmProcess);
        EXPECT_FALSE(runLookWhileOpen);
    }
    form.TrayRunMNU->trigger();
    EXPECT_EQ(form.Dsp->Mode(), dmProcess);
}

TEST_F(TTrayMenu, ProfilesAreListedByNameWithTheirCaptionsIntact) {
    TMainForm& form = MakeForm();
    EXPECT_EQ(ProfileCaptions(form), QStringList{"[No Profiles]"});
    EXPECT_FALSE(form.ProfilesMNU->actions().at(0)->isEnabled());

    const std::filesystem::path folder = form.ProfileFolder().toStdString();
    for (const char* name :
         {"My voice.ini", "Tom & Jerry.ini", "DX.INI", "notes.txt", ".hidden.ini"})
        WriteFileBytes(folder / name, "[Output]\nGain=0.5\n");
    std::filesystem::create_directory(folder / "folder.ini");
    EXPECT_EQ(ProfileCaptions(form), (QStringList{"DX", "My voice", "Tom && Jerry"}));
    for (QAction* item : form.ProfilesMNU->actions())
        EXPECT_TRUE(item->isEnabled());
}

TEST_F(TTrayMenu, ChoosingAProfileLoadsThatFileAfterTheSaveQuestion) {
    TMainForm& form = MakeForm();
    const std::filesystem::path file = form.ProfileFolder().toStdString() + "/My voice.ini";
    WriteFileBytes(file, "[Output]\nGain=0.5\n");
    form.PopupMenu1Popup();
    QAction* item = form.ProfilesMNU->actions().at(0);

    form.MarkModified();
    YesNoCancel = QMessageBox::Cancel;
    item->trigger();
    EXPECT_EQ(Questions, QStringList{"Save changes?"});
    EXPECT_EQ(form.StatusText(), "  Modified profile");

    YesNoCancel = QMessageBox::No;
    item->trigger();
    EXPECT_EQ(form.StatusText(), "  Profile: " + QString::fromStdString(file.string()));
    EXPECT_FLOAT_EQ(form.CurrentProfile().OutputGain, 0.5f);
    EXPECT_FALSE(form.Modified());
}

TEST_F(TTrayMenu, ExitClosesTheNormalWayWithTheProfileQuestion) {
    TMainForm& form = MakeForm();
    form.hide(); // living in the tray
    form.MarkModified();
    YesNoCancel = QMessageBox::Cancel;
    bool closed = false;
    form.OnClosed = [&] { closed = true; };
    form.TrayExitMNU->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(Questions, QStringList{"Save modified profile?"});
    EXPECT_FALSE(closed);
    YesNoCancel = QMessageBox::No;
    form.TrayExitMNU->trigger();
    EXPECT_TRUE(WaitFor([&] { return closed; }));
}

// ---- minimize, restore and start-up --------------------------------------------------------

TEST_F(TWindowState, MinimizingStopsASetupStepButKeepsProcessing) {
    GiveVoice();
    TMainForm& form = MakeReadyForm();
    form.Launch();
    for (const TDspMode mode : {dmAdjustGain, dmRecord, dmPlay}) {
        SCOPED_TRACE(int{mode});
        form.SetMode(mode);
        form.showMinimized();
        EXPECT_EQ(form.Dsp->Mode(), dmStop);
        EXPECT_FALSE(form.Dsp->Running());
        form.showNormal();
    }
    form.SetMode(dmProcess);
    ASSERT_TRUE(form.Dsp->AnalysisOn());
    form.showMinimized();
    EXPECT_EQ(form.Dsp->Mode(), dmProcess);
    EXPECT_TRUE(form.Dsp->Running());
    EXPECT_FALSE(form.Dsp->AnalysisOn());
    // Without a tray the window stays minimized rather than disappearing.
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isVisible());
    form.showNormal();
    EXPECT_TRUE(form.Dsp->AnalysisOn());
}

TEST_F(TWindowState, MinimizingHidesIntoATray) {
    TMainForm& form = MakeReadyForm();
    form.TrayPresent = [] { return true; };
    form.Launch();
    form.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }));
    form.TrayRestoreMNU->trigger();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());
}

TEST_F(TWindowState, StartProcessingRunsUnseenInTheTrayAndWithDisplaysWhenShown) {
    struct TCase {
        bool InTray, HaveTray;
        bool Visible, Minimized, Analysis;
    };
    const TCase cases[] = {{true, false, true, true, false},
                           {true, true, false, false, false},
                           {false, false, true, false, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.InTray * 10 + c.HaveTray);
        TMainForm& form = MakeReadyForm();
        form.TrayPresent = [&c] { return c.HaveTray; };
        form.SetStartOptions(c.InTray, true);
        form.Launch();
        EXPECT_EQ(form.isVisible(), c.Visible);
        EXPECT_EQ(form.isMinimized(), c.Minimized);
        EXPECT_EQ(form.Dsp->Mode(), dmProcess);
        EXPECT_TRUE(form.Dsp->Running());
        EXPECT_EQ(form.Dsp->AnalysisOn(), c.Analysis);
        Form.reset();
    }
}

} // namespace
} // namespace sonari::test
