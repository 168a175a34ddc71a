#include "app/MeterScales.h"
#include "app/Shape.h"
#include "app/SndCardDialog.h"
#include "controls/SafeShutdown.h"
#include "controls/VolumeSlider.h"
#include "settings/IniFile.h"
#include "tests/app/MainFormFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSessionManager>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <array>

namespace sonari::test {
namespace {

const char* const kSteps[] = {"StopBtn", "SndCardBtn", "GainBtn", "RecBtn", "PlayBtn"};

// The step button that is down; -1 for none, -2 for more than one.
int DownStep(const QObject& form) {
    int down = -1, count = 0;
    for (int tag = 0; tag < 5; ++tag)
        if (Find<QPushButton>(form, kSteps[tag]).isChecked()) {
            down = tag;
            ++count;
        }
    return count > 1 ? -2 : down;
}

using MainForm = TMainFormTest;

// STOP as the operator sees it: step 0 down, tray and toolbar stopped, no stream.
void ExpectStopped(TMainForm& form) {
    EXPECT_EQ(form.Dsp().Mode(), dmStop);
    EXPECT_EQ(DownStep(form), 0);
    EXPECT_TRUE(LooksRunning(form, false));
    EXPECT_FALSE(form.Dsp().Running());
}

// ---- the mode switch with the engine -------------------------------------------------------

TEST_F(MainForm, EveryModeShowsItsStepPanelAndRunLook) {
    GiveVoice();
    TMainForm& form = MakeForm(true);
    form.Launch(); // recording starts only on a window on screen
    struct TCase {
        TDspMode Requested;
        bool Ctrl;
        TDspMode Reached;
        int Down;
        bool LowerArea;
    };
    const TCase cases[] = {
        {dmAdjustGain, false, dmAdjustGain, 2, false},
        {dmRecord, false, dmRecord, 3, false},
        {dmPlay, false, dmPlay, 4, true},
        {dmPlay, true, dmPlayToFile, 4, true},
        {dmProcess, false, dmProcess, -1, true},
        {dmStop, false, dmStop, 0, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int{c.Requested} * 10 + c.Ctrl);
        Ctrl = c.Ctrl;
        form.Modes().SetMode(c.Requested);
        EXPECT_EQ(Mode(), c.Reached);
        EXPECT_EQ(DownStep(form), c.Down);
        EXPECT_EQ(!Find(form, "Panel11").isHidden(), c.LowerArea);
        EXPECT_EQ(form.Dsp().Running(), c.Reached != dmStop);
        EXPECT_TRUE(LooksRunning(form, c.Reached == dmProcess));
    }
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    // Holding Ctrl wrote the processed voice.
    EXPECT_TRUE(std::filesystem::exists(UserWav() / "Out.wav"));

    // Clicking the step that is down releases it and stops; releasing STOP stays in STOP.
    for (const char* step : {"GainBtn", "GainBtn", "StopBtn"})
        Click(step);
    ExpectStopped(form);
}

TEST_F(MainForm, AStreamThatEndsByItselfReturnsToStopAndSaysWhy) {
    TMainForm& form = MakeForm(true);
    form.Modes().SetMode(dmProcess);
    ASSERT_TRUE(WaitFor([&] { return form.Dsp().BlockCount() > 3; }));
    Sim->RemoveDevice(kDemoMicrophone);
    ASSERT_TRUE(WaitFor([&] { return Mode() == dmStop; }));
    ExpectStopped(form);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].startsWith("Streaming stopped: ")) << Errors[0].toStdString();
    auto& statusBar = Find<QStatusBar>(form, "StatusBar1");
    EXPECT_EQ(statusBar.currentMessage(), "  " + Errors[0]);
    // The next mode change takes the note away again.
    form.Modes().SetMode(dmStop);
    EXPECT_TRUE(statusBar.currentMessage().isEmpty());
}

TEST_F(MainForm, SoundCardDialogClosesIntoStopWithOkOrCancel) {
    TMainForm& form = MakeForm();
    auto& dialog = Find<TSndCardDialog>(form, "SndCardDialog");
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok);
        int downWhileOpen = -1;
        QTimer::singleShot(0, &form, [&] {
            downWhileOpen = DownStep(form);
            dialog.ComboBox2->setCurrentIndex(dialog.ComboBox2->findData(1));
            dialog.CheckBox1->setChecked(false);
            ok ? dialog.accept() : dialog.reject();
        });
        Click("SndCardBtn");
        EXPECT_EQ(downWhileOpen, 1);
        ExpectStopped(form);
        EXPECT_EQ(form.Selection().OutputDeviceIndex, ok ? 1 : 0);
        EXPECT_EQ(form.Dsp().LatencyMode(), ok ? lmNormal : lmLow);
    }
}

// ---- displays, switches and sliders --------------------------------------------------------

TEST(MeterScales, InputBarMapsTheExcursionOntoTheFrameAndTurnsRedBeyond80Percent) {
    struct TCase {
        float MinFs, MaxFs;
        int32_t Frame, Left, Width;
        bool Red;
    };
    const TCase cases[] = {
        {-1.0f, 1.0f, 200, 0, 202, true},    // full scale: the whole frame plus 2
        {0.0f, 0.0f, 201, 100, 2, false},    // silence: 2 pixels in the middle
        {-0.8f, 0.8f, 100, 10, 82, false},   // 80 % is still green
        {-0.875f, 0.0f, 100, 6, 46, true},   // -43.75 -> -44, 43.75 -> 44
        {-0.25f, 0.25f, 100, 38, 27, false}, // -12.5 -> -12, 25
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.MinFs << " " << c.MaxFs);
        const TInputBar bar = InputBarGeometry({c.MinFs, c.MaxFs}, c.Frame);
        EXPECT_EQ(bar.Left, c.Left);
        EXPECT_EQ(bar.Width, c.Width);
        EXPECT_EQ(bar.Red, c.Red);
    }
}

TEST(MeterScales, OutputBarUsesTwoPixelsPerDbRoundedHalfToEven) {
    struct TCase {
        float Rms, Peak;
        int32_t Width, MarkLeft;
        bool Clip;
    };
    const TCase cases[] = {
        {-10.0f, -3.0f, 111, 123, false},
        {-0.75f, 0.0f, 129, 129, true}, // 2 * -0.75 = -1.5 rounds to -2
        {3.0f, 3.0f, 131, 135, true},   // beyond full scale the bar ends at its frame
        {-999.0f, -999.0f, 0, 131 - 1998 - 2, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Rms);
        const TOutputBar bar = OutputBarGeometry(c.Rms, c.Peak, 131);
        EXPECT_EQ(bar.Width, c.Width);
        EXPECT_EQ(bar.MarkLeft, c.MarkLeft);
        EXPECT_EQ(bar.Clip, c.Clip);
    }
}

// A hint of exactly 0 dB and a full progress bar are the window's slider and report tests'.
TEST(MeterScales, CaptionsAndHintsRoundToWholeDecibels) {
    EXPECT_EQ(DbfsCaption(-2.5f), "-2 dBFS");
    EXPECT_EQ(DbCaption(3.5L), "4 dB");
    EXPECT_EQ(PlaybackVolumeHint(0.4f), "+0 dB");
    EXPECT_EQ(PlaybackVolumeHint(-20.0f), "-20 dB");
    EXPECT_EQ(ProgressPosition(0.125f, 100), 12); // 12.5 -> 12
}

// A new window: its size and title are the X11 test's.
TEST_F(MainForm, ANewWindowIsFixedSizeAtStepZeroAndReportsReachTheirControlsTillTheNextStop) {
    TMainForm& form = MakeForm();
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(StatusText(), "  Default profile");
    ExpectStopped(form);
    EXPECT_TRUE(std::filesystem::is_directory(form.Profiles().ProfileFolder().toStdString()));
    // The shipped noise recordings were found; the software gain waits for its box.
    EXPECT_TRUE(Find(form, "CheckBox4").isEnabled());
    EXPECT_FALSE(Find(form, "SpinEdit2").isEnabled());
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    // Steps 2 and 3 need valid devices, step 4 also a voice recording.
    EXPECT_TRUE(Find(form, "RecBtn").isEnabled());
    EXPECT_FALSE(Find(form, "PlayBtn").isEnabled());
    form.Selection() = {0, 2}; // there is no third device
    form.Modes().UpdateStepButtons();
    EXPECT_FALSE(Find(form, "GainBtn").isEnabled());

    auto& shape2 = Find<TShape>(form, "Shape2");
    auto& progress = Find<QProgressBar>(form, "ProgressBar1");
    form.OutputFiguresChanged({-12.0f, 0.5f, 19.6});
    form.RecordingProgress(1.5f);           // beyond the end: the bar stops at its maximum
    form.InputLevelsChanged({-1.3f, 1e5f}); // far beyond full scale: cut to the frame
    EXPECT_EQ(progress.value(), 100);
    EXPECT_EQ(shape2.width(), Find(form, "Panel4").width());
    EXPECT_EQ(Find<QLabel>(form, "Label21").text(), "12 dB");
    EXPECT_EQ(Find<QLabel>(form, "Label8").text(), "20 dB");
    EXPECT_EQ(Find<TShape>(form, "Shape13").Brush(), QColor(Qt::red));

    form.Modes().SetMode(dmStop);
    for (const char* label : {"Label19", "Label20", "Label21", "Label8"})
        EXPECT_TRUE(Find<QLabel>(form, label).text().isEmpty()) << label;
    EXPECT_EQ(progress.value(), 0);
    EXPECT_EQ(shape2.width(), 0);
    EXPECT_EQ(Find<TShape>(form, "Shape13").Brush(), QColor(Qt::gray));
}

// Dynamics never run without the equalizer. Overshoot control acts only with the clipper: its
// box is usable exactly then, and a click is a profile change (the load test loads its value).
TEST_F(MainForm, DynamicsNeedTheEqualizerAndOvershootControlTheClipper) {
    TMainForm& form = MakeForm();
    const TMicEqualizer& equalizer = form.Dsp().Equalizer();
    auto& equalizerBox = Find<QCheckBox>(form, "CheckBox2");
    auto& dynamicsBox = Find<QCheckBox>(form, "CheckBox3");
    auto& overshootBox = Find<QCheckBox>(form, "CheckBox5");
    EXPECT_TRUE(overshootBox.isChecked());
    EXPECT_FALSE(overshootBox.isEnabled());
    struct TStep {
        QCheckBox* Clicked;
        bool Equalizer, Dynamics;
    };
    for (const TStep& step : {TStep{&dynamicsBox, true, true}, TStep{&equalizerBox, false, false},
                              TStep{&dynamicsBox, true, true}}) {
        step.Clicked->click();
        EXPECT_EQ(equalizerBox.isChecked(), step.Equalizer);
        EXPECT_EQ(dynamicsBox.isChecked(), step.Dynamics);
        EXPECT_EQ(equalizer.EqualizerEnabled(), step.Equalizer);
        EXPECT_EQ(equalizer.ClipperEnabled(), step.Dynamics);
        EXPECT_EQ(overshootBox.isEnabled(), step.Dynamics);
    }
    EXPECT_EQ(StatusText(), "  Modified profile");

    ChosenFile = form.Profiles().ProfileFolder() + "/Clipped.ini";
    Click("SpeedButton5");
    ASSERT_FALSE(Modified());
    overshootBox.click();
    EXPECT_FALSE(equalizer.OvershootControl());
    EXPECT_TRUE(Modified());

    form.Dsp().EditEqualizer([](TMicEqualizer& eq) { eq.SetBands({3, -4, 5, 0, 2, 1, -6}); });
    Click("SpeedButton2");
    EXPECT_EQ(equalizer.Bands(), (std::array<float, 7>{}));
}

// A slider moved by the operator to `value`.
void Move(TVolumeSlider& slider, float value) {
    slider.SetValue(value);
    slider.OnChange();
}

// Software gain, noise and playback volume are settings, not profile values: the profile stays
// as it was. The output gain is one: moving it marks the profile modified when it differs from
// the running gain.
TEST_F(MainForm, SwitchesAndSlidersReachTheEngineAndOnlyTheOutputGainIsAProfileValue) {
    GiveVoice();
    TMainForm& form = MakeForm(true);
    const TDsp& dsp = form.Dsp();
    auto& spin = Find<QSpinBox>(form, "SpinEdit2");
    Click("CheckBox1");
    EXPECT_TRUE(spin.isEnabled());

    Find<QLabel>(form, "Label8").setText("3 dB");
    Click("CheckBox4");
    EXPECT_TRUE(Find(form, "VolumeSlider2").isEnabled());
    EXPECT_TRUE(Find(form, "RadioButton2").isEnabled());
    EXPECT_TRUE(Find<QLabel>(form, "Label8").text().isEmpty());

    // The playback volume reaches the output only while playing.
    auto& volume = Find<TVolumeSlider>(form, "VolumeSlider1");
    const float before = dsp.InterpolatorGainDb();
    Move(volume, 1.0f);
    EXPECT_EQ(dsp.InterpolatorGainDb(), before);
    EXPECT_EQ(volume.Hint(), "+20 dB");
    form.Modes().SetMode(dmPlay);
    EXPECT_EQ(dsp.InterpolatorGainDb(), 20.0f);
    Move(volume, 0.75f);
    EXPECT_EQ(dsp.InterpolatorGainDb(), 0.0f);
    EXPECT_EQ(volume.Hint(), "0 dB");
    EXPECT_FALSE(Modified());

    // The output gain reaches the output only while processing.
    auto& gain = Find<TVolumeSlider>(form, "VolumeSlider3");
    Move(gain, 1.0f); // 0 dB, as applied
    EXPECT_FALSE(Modified());
    Move(gain, 0.85f); // -12 dB
    EXPECT_TRUE(Modified());
    EXPECT_EQ(dsp.InterpolatorGainDb(), 0.0f);
    EXPECT_EQ(gain.Hint(), "-12 dB");
    form.Modes().SetMode(dmProcess);
    EXPECT_NEAR(dsp.InterpolatorGainDb(), -12.0f, 1e-4f);
    ChosenFile = form.Profiles().ProfileFolder() + "/Gain.ini";
    Click("SpeedButton5"); // saved: no longer modified
    Move(gain, 0.85f);     // the same value again
    EXPECT_FALSE(Modified());
    Move(gain, 0.7f);
    EXPECT_TRUE(Modified());
    EXPECT_NEAR(dsp.InterpolatorGainDb(), -24.0f, 1e-4f);
}

// ---- profiles ------------------------------------------------------------------------------

TEST_F(MainForm, SaveOffersTheCurrentFileAndLoadAsksToSaveChangesFirst) {
    TMainForm& form = MakeForm();
    const QString saved = form.Profiles().ProfileFolder() + "/Saved.ini";
    const QString other = form.Profiles().ProfileFolder() + "/Other.ini";
    WriteFileBytes(other.toStdString(),
                   "[Equalizer]\nBand0=6\n[Clipper]\nEnabled=1\nOvershootControl=0\n");
    Click("SpeedButton5"); // cancelled
    EXPECT_EQ(StatusText(), "  Default profile");
    form.Profiles().MarkModified();
    ChosenFile = saved;
    Click("SpeedButton5");
    ASSERT_EQ(Dialogs.size(), 2u);
    EXPECT_EQ(Dialogs[0].Title, "Save profile");
    EXPECT_EQ(Dialogs[0].Folder, form.Profiles().ProfileFolder());
    EXPECT_EQ(StatusText(), "  Profile: " + saved);
    EXPECT_FALSE(Modified());

    form.Profiles().MarkModified();
    YesNoCancel = QMessageBox::Cancel;
    Click("SpeedButton7");
    EXPECT_EQ(Questions, QStringList{"Save changes?"});
    EXPECT_EQ(Dialogs.size(), 2u);

    YesNoCancel = QMessageBox::No;
    ChosenFile = other;
    Click("SpeedButton7");
    ASSERT_EQ(Dialogs.size(), 3u);
    EXPECT_EQ(Dialogs[2].Title, "Load Profile");
    EXPECT_EQ(Dialogs[2].FileName, saved); // the save dialog's last file
    EXPECT_TRUE(Find<QCheckBox>(form, "CheckBox3").isChecked());
    EXPECT_FALSE(Find<QCheckBox>(form, "CheckBox5").isChecked() ||
                 form.Dsp().Equalizer().OvershootControl());
    EXPECT_TRUE(Find(form, "CheckBox5").isEnabled());
    EXPECT_EQ(StatusText(), "  Profile: " + other);
    EXPECT_FALSE(Modified());

    form.Profiles().MarkModified();
    YesNoCancel = QMessageBox::Yes; // saves, the current file offered, then loads
    Click("SpeedButton7");
    ASSERT_EQ(Dialogs.size(), 5u);
    EXPECT_TRUE(Dialogs[3].ForSave);
    EXPECT_EQ(Dialogs[3].FileName, other);
    EXPECT_FALSE(Dialogs[4].ForSave);
}

// ---- settings and the whole run ------------------------------------------------------------

// Closing (here the tray's Exit, the window hidden in the tray) asks about a modified profile:
// Cancel keeps the window, and a save whose dialog is cancelled closes it anyway. The window
// comes back with the settings and the last profile, and closes unasked while unmodified.
TEST_F(MainForm, ClosingAsksAboutAModifiedProfileAndSettingsAndTheLastProfileSurviveARestart) {
    QString evening;
    {
        TMainForm& form = MakeForm();
        bool closed = false;
        form.OnClosed = [&] { closed = true; };
        form.Launch();
        form.Selection() = {1, 1};
        Find<QSpinBox>(form, "SpinEdit2").setValue(-7);
        Click("CheckBox1");
        Find<TVolumeSlider>(form, "VolumeSlider1").SetValue(0.6f);
        evening = ChosenFile = form.Profiles().ProfileFolder() + "/Evening.ini";
        Click("SpeedButton5");
        Click("CheckBox3"); // modified after saving, and not saved on close
        form.hide();
        auto& exit = Find<QAction>(form, "TrayExitMNU");
        exit.trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(Questions, QStringList{"Save modified profile?"});
        EXPECT_FALSE(closed);
        YesNoCancel = QMessageBox::Yes;
        ChosenFile.clear();
        exit.trigger();
        ASSERT_TRUE(WaitFor([&] { return closed; }));
        EXPECT_EQ(Dialogs.size(), 2u);
        Form.reset();
    }
    std::string ini = ReadFileBytes(SettingsFileName());
    EXPECT_NE(ini.find("SoftGain=-7"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LastProfile=" + evening.toStdString()), std::string::npos) << ini;
    // Without their keys, as an older version wrote them: a caption matches in any letter
    // case; a device that is gone is named and nothing takes its place.
    for (const auto& [from, to] :
         {std::pair{"InputDevice=02  Demo transmitter", "InputDevice=03  Radio-RX"},
          {"OutputDevice=02  Demo", "OutputDevice=02  DEMO"},
          {"InputDeviceId=", "Unused="},
          {"OutputDeviceId=", "Unused2="},
          {"Latency=1", "Latency=0"}})
        ini.replace(ini.find(from), std::string(from).size(), to);
    WriteFileBytes(SettingsFileName(), ini);

    TMainForm& again = MakeForm();
    EXPECT_EQ(Find<QSpinBox>(again, "SpinEdit2").value(), -7);
    EXPECT_TRUE(Find(again, "SpinEdit2").isEnabled());
    EXPECT_EQ(again.Selection().InputDeviceIndex, -1);
    EXPECT_EQ(again.Selection().OutputDeviceIndex, 1);
    EXPECT_EQ(Find<QStatusBar>(again, "StatusBar1").currentMessage(),
              "  Sound device not found: Radio-RX");
    EXPECT_FALSE(Find(again, "GainBtn").isEnabled());
    EXPECT_FLOAT_EQ(Find<TVolumeSlider>(again, "VolumeSlider1").Value(), 0.6f);
    EXPECT_EQ(again.Dsp().LatencyMode(), lmNormal);
    EXPECT_EQ(StatusText(), "  Profile: " + evening);
    EXPECT_FALSE(Find<QCheckBox>(again, "CheckBox3").isChecked());
    EXPECT_FALSE(Modified());
    EXPECT_TRUE(again.close());
    EXPECT_EQ(Questions.size(), 2); // both asked before the restart
}

TEST_F(MainForm, ABadSettingsValueIsShownTheFileKeptAndTheWindowStillComesUp) {
    std::filesystem::create_directories(SettingsFolder());
    WriteFileBytes(SettingsFileName(), "[Playback]\nVolume=loud\n");
    TMainForm& form = MakeForm();
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("loud")) << Errors[0].toStdString();
    EXPECT_TRUE(Find(form, "GainBtn").isEnabled());
    // What could not be read survives the settings written at the end.
    Form.reset();
    EXPECT_EQ(ReadFileBytes(SettingsFileName() + ".bak"), "[Playback]\nVolume=loud\n");

    // A file that cannot be read at all: the software gain's field follows its box.
    WriteFileBytes(SettingsFileName(), std::string(TIniFile::kMaxFileBytes + 1, '\n'));
    TMainForm& again = MakeForm();
    EXPECT_FALSE(Find<QCheckBox>(again, "CheckBox1").isChecked());
    EXPECT_FALSE(Find(again, "SpinEdit2").isEnabled());
}

// A log-out saves at its commit-data request and may then be cancelled: the program runs on.
// The session's real end (the application asked to quit) stops it without asking.
TEST_F(MainForm, ALogOutSavesFirstAndOnlyTheSessionsEndStopsWithoutAsking) {
    TMainForm& form = MakeForm(true);
    form.Modes().SetMode(dmProcess);
    form.Profiles().MarkModified();
    bool ended = false;
    Find<TSafeShutdown>(form, "SafeShutdown1").SetTerminator([&] { ended = true; });
    auto* sessionManager = qApp->findChild<QSessionManager*>();
    ASSERT_NE(sessionManager, nullptr);
    emit qApp->commitDataRequest(*sessionManager);
    EXPECT_FALSE(ended);
    EXPECT_TRUE(form.Dsp().Running());
    EXPECT_NE(ReadFileBytes(SettingsFileName()).find("[Startup]"), std::string::npos);

    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(qApp, &quit);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(Questions.isEmpty());
    EXPECT_FALSE(form.Dsp().Running());
}

} // namespace
} // namespace sonari::test
