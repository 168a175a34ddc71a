#include "app/SndCardDialog.h"
#include "app/StartOptionsDialog.h"
#include "tests/app/MainFormFixture.h"

#include <QImage>
#include <QMenu>
#include <QTimer>

namespace sonari::test {
namespace {

using MainFormTray = TMainFormTest;
// On the real clock: a recording started under the test stays far from its 5-second mark.
class TRecordPrompt : public TMainFormTest {
protected:
    TRecordPrompt() : TMainFormTest(TSimPlatform::scRealTime) {}
};

// The profile items as the tray menu lists them when it opens.
QList<QAction*> ProfileItems(const QObject& form) {
    emit Find<QMenu>(form, "PopupMenu1").aboutToShow();
    return Find<QMenu>(form, "ProfilesMNU").actions();
}

QStringList Captions(const QList<QAction*>& items) {
    QStringList captions;
    for (const QAction* item : items)
        captions << item->text();
    return captions;
}

// ---- the icons ---------------------------------------------------------------------------

// Share of the pixels of a 32-pixel rendering for which `match` holds.
template <typename Match>
double Share(const QIcon& icon, Match match) {
    const QImage image = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    return double(count) / (image.width() * image.height());
}

bool Reddish(const QColor& c) { return c.alpha() > 200 && c.red() > 180 && c.green() < 80; }
bool Greenish(const QColor& c) { return c.alpha() > 200 && c.green() > 120 && c.red() < 80; }

// That each icon is one object, so the tray recognises an icon it already shows, is the
// run-look checks' (they compare the tray's icon with a new call).
TEST(AppIcons, StopIsRedMarkedRunIsGreen) {
    EXPECT_GT(Share(StopIcon(), Reddish), 0.05);
    EXPECT_EQ(Share(StopIcon(), Greenish), 0.0);
    EXPECT_GT(Share(RunIcon(), Greenish), 0.05);
    EXPECT_EQ(Share(RunIcon(), Reddish), 0.0);
    EXPECT_GT(Share(ProgramIcon(), [](const QColor& c) { return c.alpha() > 200; }), 0.5);
}

// ---- tray icon and menu --------------------------------------------------------------------

// The tray's Run waits while a setup dialog is open; a click on the icon toggles processing, a
// Ctrl+click only restores the window.
TEST_F(MainFormTray, ClicksToggleProcessingOnlyWithoutASetupDialogAndCtrlClickOnlyRestores) {
    TMainForm& form = MakeForm(true);
    auto& run = Find<QAction>(form, "TrayRunMNU");
    for (const char* name : {"SndCardDialog", "StartOptionsDialog"}) {
        SCOPED_TRACE(name);
        auto& dialog = Find<QDialog>(form, name);
        TDspMode modeWhileOpen = dmStop;
        bool runLookWhileOpen = true;
        QTimer::singleShot(0, &dialog, [&] {
            run.trigger();
            modeWhileOpen = Mode();
            runLookWhileOpen = run.isChecked();
            dialog.reject();
        });
        dialog.exec();
        EXPECT_NE(modeWhileOpen, dmProcess);
        EXPECT_FALSE(runLookWhileOpen);
    }
    run.trigger();
    EXPECT_EQ(Mode(), dmProcess);

    auto& icon = Find<TTrayIcon>(form, "TrayIcon1");
    for (const bool running : {false, true, false}) {
        icon.HandleActivation(QSystemTrayIcon::Trigger);
        EXPECT_EQ(Mode(), running ? dmProcess : dmStop);
        EXPECT_TRUE(LooksRunning(form, running));
    }
    form.hide();
    Ctrl = true;
    icon.HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_EQ(Mode(), dmStop);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Dsp().AnalysisOn());
}

// While "Click on OK to start recording:" waits, the tray's Run and Stop (menu or icon) are
// refused and minimizing leaves the step to the answer: the recording starts only where it was
// asked, and one stopped before its end leaves the last Voice.wav as it was.
TEST_F(TRecordPrompt, NothingOvertakesTheRecordPrompt) {
    GiveVoice();
    const std::string voice = ReadFileBytes(UserWav() / "Voice.wav");
    TMainForm& form = MakeForm(true);
    form.Launch();
    const std::pair<const char*, std::function<void()>> overtakers[] = {
        {"Stop", [&] { Find<QAction>(form, "TrayStopMNU").trigger(); }},
        {"Run", [&] { Find<QAction>(form, "TrayRunMNU").trigger(); }},
        {"icon",
         [&] { Find<TTrayIcon>(form, "TrayIcon1").HandleActivation(QSystemTrayIcon::Trigger); }},
        {"minimize", [&] { form.showMinimized(); }},
    };
    for (const auto& [name, overtake] : overtakers) {
        SCOPED_TRACE(name);
        bool heldWhileAsking = false;
        form.Prompts().ConfirmOkCancel = [&](const QString&) {
            overtake();
            heldWhileAsking = Mode() == dmRecord && !form.Dsp().Running();
            return true;
        };
        Click("RecBtn");
        QCoreApplication::processEvents();
        EXPECT_TRUE(heldWhileAsking);
        const bool recording = !form.isMinimized();
        EXPECT_EQ(Mode(), recording ? dmRecord : dmStop);
        EXPECT_EQ(form.Dsp().Running(), recording);
        EXPECT_EQ(Find<QAbstractButton>(form, "RecBtn").isChecked(), recording);
        EXPECT_TRUE(Find<QAction>(form, "TrayStopMNU").isChecked());
        form.Modes().SetMode(dmStop);
        form.showNormal();
        EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
        EXPECT_TRUE(ReadFileBytes(UserWav() / "Voice.wav") == voice) << "Voice.wav changed";
    }
}

TEST_F(MainFormTray, ProfilesAreListedByNameAndChoosingOneLoadsItAfterTheSaveQuestion) {
    TMainForm& form = MakeForm();
    QList<QAction*> items = ProfileItems(form);
    EXPECT_EQ(Captions(items), QStringList{"[No Profiles]"});
    EXPECT_FALSE(items.at(0)->isEnabled());

    const std::filesystem::path folder = form.Profiles().ProfileFolder().toStdString();
    for (const char* name :
         {"My voice.ini", "Tom & Jerry.ini", "DX.INI", "notes.txt", ".hidden.ini"})
        WriteFileBytes(folder / name, "[Output]\nGain=0.5\n");
    std::filesystem::create_directory(folder / "folder.ini");
    items = ProfileItems(form);
    EXPECT_EQ(Captions(items), (QStringList{"DX", "My voice", "Tom && Jerry"}));

    form.Profiles().MarkModified();
    YesNoCancel = QMessageBox::No;
    items.at(1)->trigger();
    EXPECT_EQ(Questions, QStringList{"Save changes?"});
    EXPECT_EQ(StatusText(),
              "  Profile: " + QString::fromStdString((folder / "My voice.ini").string()));
    EXPECT_FLOAT_EQ(form.Profiles().Current().OutputGain, 0.5f);
    EXPECT_FALSE(Modified());
}

// ---- minimize, restore and start-up --------------------------------------------------------

TEST_F(MainFormTray, MinimizingStopsASetupStepKeepsProcessingAndHidesIntoATray) {
    GiveVoice();
    TMainForm& form = MakeForm(true);
    form.Launch();
    for (const TDspMode mode : {dmAdjustGain, dmRecord, dmPlay}) {
        SCOPED_TRACE(int{mode});
        form.Modes().SetMode(mode);
        form.showMinimized();
        EXPECT_EQ(Mode(), dmStop);
        EXPECT_FALSE(form.Dsp().Running());
        form.showNormal();
    }
    form.Modes().SetMode(dmProcess);
    ASSERT_TRUE(form.Dsp().AnalysisOn());
    form.showMinimized();
    EXPECT_EQ(Mode(), dmProcess);
    EXPECT_TRUE(form.Dsp().Running());
    EXPECT_FALSE(form.Dsp().AnalysisOn());
    // Without a tray the window stays minimized rather than disappearing.
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isVisible());
    form.showNormal();
    EXPECT_TRUE(form.Dsp().AnalysisOn());

    form.TrayPresent = [] { return true; };
    form.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }));
    Find<QAction>(form, "TrayRestoreMNU").trigger();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());
}

// Start processing runs unseen in the tray, and with displays when the window shows. Started with
// the desktop session before its panel, the window waits minimized, and the icon and the window
// go into the notification area as soon as it appears.
TEST_F(MainFormTray, ALateNotificationAreaGetsTheIconAndTheWindowAndProcessingStartsUnseen) {
    struct TCase {
        bool InTray, HaveTray;
        bool Visible, Minimized, Analysis;
    };
    const TCase cases[] = {{true, false, true, true, false},
                           {true, true, false, false, false},
                           {false, false, true, false, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.InTray * 10 + c.HaveTray);
        TMainForm& form = MakeForm(true);
        auto& icon = Find<TTrayIcon>(form, "TrayIcon1");
        bool area = false;
        icon.AreaAvailable = [&] { return area; };
        if (c.HaveTray)
            form.TrayPresent = [] { return true; };
        form.StartOptions() = {c.InTray, true};
        form.Launch();
        EXPECT_EQ(form.isVisible(), c.Visible);
        EXPECT_EQ(form.isMinimized(), c.Minimized);
        EXPECT_EQ(Mode(), dmProcess);
        EXPECT_TRUE(form.Dsp().Running());
        EXPECT_EQ(form.Dsp().AnalysisOn(), c.Analysis);
        if (c.InTray && !c.HaveTray) {
            QTest::qWait(TTrayIcon::kAreaPollMs + 200);
            EXPECT_TRUE(form.isVisible() && form.isMinimized());
            EXPECT_FALSE(icon.Registered());
            area = true;
            ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }, 3 * TTrayIcon::kAreaPollMs));
            EXPECT_TRUE(icon.Registered());
            Find<QAction>(form, "TrayRestoreMNU").trigger();
            EXPECT_TRUE(form.isVisible());
        }
        Form.reset();
    }
}

} // namespace
} // namespace sonari::test
