#include "app/Shape.h"
#include "app/SndCardDialog.h"
#include "controls/SafeShutdown.h"
#include "controls/VolumeSlider.h"
#include "tests/app/MainFormFixture.h"

#include <QTimer>

namespace sonari::test {
namespace {

int DownStep(const TMainForm& form) {
    int down = -1, count = 0;
    for (int tag = 0; tag < 5; ++tag)
        if (form.StepButtons[tag]->isChecked()) {
            down = tag;
            ++count;
        }
    return count > 1 ? -2 : down;
}

bool LooksRunning(const TMainForm& form) {
    return form.TrayRunMNU->isChecked() && form.SpeedButton1->isChecked() &&
           ShowsIcon(form, RunIcon());
}

bool LooksStopped(const TMainForm& form) {
    return form.TrayStopMNU->isChecked() && form.SpeedButton3->isChecked() &&
           ShowsIcon(form, StopIcon());
}

// STOP as the operator sees it: step 0 down, tray and toolbar stopped, no stream.
void ExpectStopped(const TMainForm& form) {
    EXPECT_EQ(form.Dsp->Mode(), dmStop);
    EXPECT_EQ(DownStep(form), 0);
    EXPECT_TRUE(LooksStopped(form));
    EXPECT_FALSE(form.Dsp->Running());
}

using TMainFormStart = TMainFormTest;
using TMainFormModes = TMainFormTest;
using TMainFormControls = TMainFormTest;
using TMainFormProfiles = TMainFormTest;
using TMainFormLifecycle = TMainFormTest;

// ---- start-up ------------------------------------------------------------------------------

TEST_F(TMainFormStart, ANewWindowIsFixedSizeAndStoppedAtStepZero) {
    TMainForm& form = MakeForm();
    EXPECT_EQ(form.size(), QSize(822, 527));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.windowTitle(), "Sonari");
    EXPECT_EQ(form.StatusText(), "  Default profile");
    ExpectStopped(form);
    for (const QWidget* editor : {form.PaintBox1, form.PaintBox2})
        EXPECT_EQ(editor->cursor().shape(), Qt::CrossCursor);
    EXPECT_TRUE(std::filesystem::is_directory(form.ProfileFolder().toStdString()));
    // The shipped noise recordings were found; no voice was recorded yet.
    EXPECT_TRUE(form.CheckBox4->isEnabled());
    EXPECT_FALSE(form.PlayBtn->isEnabled());
    EXPECT_FALSE(form.SpinEdit2->isEnabled());
    EXPECT_EQ(form.SpinEdit2->value(), 20);
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
}

TEST_F(TMainFormStart, StepButtonsNeedValidDevicesAndPlayAlsoAVoice) {
    TMainForm& form = MakeForm();
    form.Selection = {0, 2}; // no third device
    form.UpdateStepButtons();
    EXPECT_FALSE(form.GainBtn->isEnabled());
    EXPECT_FALSE(form.RecBtn->isEnabled());
    form.Selection = {0, 1};
    form.UpdateStepButtons();
    EXPECT_TRUE(form.GainBtn->isEnabled());
    EXPECT_TRUE(form.RecBtn->isEnabled());
    EXPECT_FALSE(form.PlayBtn->isEnabled());

    GiveVoice();
    form.Dsp->LoadVoice();
    form.UpdateStepButtons();
    EXPECT_TRUE(form.PlayBtn->isEnabled());
}

// ---- the mode switch -----------------------------------------------------------------------

TEST_F(TMainFormModes, EveryModeShowsItsStepPanelAndRunLook) {
    GiveVoice();
    TMainForm& form = MakeReadyForm();
    struct TCase {
        TDspMode Requested;
        bool Ctrl;
        TDspMode Reached;
        int Down;
        bool LowerArea;
        bool Streaming;
    };
    const TCase cases[] = {
        {dmAdjustGain, false, dmAdjustGain, 2, false, true},
        {dmRecord, false, dmRecord, 3, false, true},
        {dmPlay, false, dmPlay, 4, true, true},
        {dmPlay, true, dmPlayToFile, 4, true, true},
        {dmProcess, false, dmProcess, -1, true, true},
        {dmStop, false, dmStop, 0, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int{c.Requested} * 10 + c.Ctrl);
        Ctrl = c.Ctrl;
        form.SetMode(c.Requested);
        EXPECT_EQ(form.Dsp->Mode(), c.Reached);
        EXPECT_EQ(DownStep(form), c.Down);
        EXPECT_EQ(!form.Panel11->isHidden(), c.LowerArea);
        EXPECT_EQ(form.Dsp->Running(), c.Streaming);
        EXPECT_TRUE(c.Reached == dmProcess ? LooksRunning(form) : LooksStopped(form));
    }
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
    // Holding Ctrl wrote the processed voice.
    EXPECT_TRUE(std::filesystem::exists(UserWav() / "Out.wav"));
}

TEST_F(TMainFormModes, ClickingTheStepThatIsDownReleasesItAndStops) {
    TMainForm& form = MakeReadyForm();
    form.GainBtn->click();
    ASSERT_EQ(form.Dsp->Mode(), dmAdjustGain);
    form.GainBtn->click();
    ExpectStopped(form);
    form.StopBtn->click(); // releasing STOP itself stays in STOP
    ExpectStopped(form);
}

TEST_F(TMainFormModes, AFailingStartIsShownAndEndsInStop) {
    GiveVoice();
    TMainForm& form = MakeForm();
    form.Selection = {0, 0}; // the microphone cannot play
    form.UpdateStepButtons();
    form.PlayBtn->click();
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_FALSE(Errors[0].isEmpty());
    ExpectStopped(form);
}

TEST_F(TMainFormModes, CancellingTheRecordPromptStopsWithoutTouchingTheVoice) {
    TMainForm& form = MakeReadyForm();
    ConfirmOk = false;
    form.RecBtn->click();
    EXPECT_EQ(Questions, QStringList{"Click on OK to start recording:"});
    ExpectStopped(form);
    EXPECT_FALSE(form.Panel11->isHidden());
    EXPECT_FALSE(std::filesystem::exists(UserWav() / "Voice.wav"));
}

TEST_F(TMainFormModes, AFinishedRecordingStopsAndEnablesPlayback) {
    TMainForm& form = MakeReadyForm();
    form.RecBtn->click();
    ASSERT_EQ(form.Dsp->Mode(), dmRecord);
    ASSERT_TRUE(WaitFor([&] { return form.Dsp->Mode() == dmStop; }, 30000));
    ExpectStopped(form);
    EXPECT_GE(form.Dsp->Voice().size(), size_t{60000});
    EXPECT_TRUE(form.PlayBtn->isEnabled());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join('\n').toStdString();
}

TEST_F(TMainFormModes, ReportsAreHandledAfterTheHandlerReturnedAndOnlyForTheirOwnRun) {
    TMainForm& form = MakeReadyForm();
    form.SetMode(dmAdjustGain);
    form.RecordingComplete();
    EXPECT_EQ(form.Dsp->Mode(), dmAdjustGain); // nothing happens inside the block handler
    // The operator starts step 2 again while a late block reports once more: that report
    // must not stop what the operator started.
    QTimer::singleShot(0, &form, [&] { form.SetMode(dmAdjustGain); });
    form.RecordingComplete();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Dsp->Mode(), dmAdjustGain);
    form.RecordingComplete();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Dsp->Mode(), dmStop);

    // The same for the end of a stream the operator has already left.
    form.SetMode(dmAdjustGain);
    form.StreamEnded("device gone");
    form.SetMode(dmAdjustGain);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Dsp->Mode(), dmAdjustGain);
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(TMainFormModes, AStreamThatEndsByItselfReturnsToStopAndSaysWhy) {
    TMainForm& form = MakeReadyForm();
    form.SetMode(dmProcess);
    ASSERT_TRUE(LooksRunning(form));
    ASSERT_TRUE(WaitFor([&] { return form.Dsp->BlockCount() > 3; }));
    Sim->RemoveDevice(kDemoMicrophone);
    ASSERT_TRUE(WaitFor([&] { return form.Dsp->Mode() == dmStop; }));
    ExpectStopped(form);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].startsWith("Streaming stopped: ")) << Errors[0].toStdString();
    EXPECT_EQ(form.StatusBar1->currentMessage(), "  " + Errors[0]);
    // The next mode change takes the note away again.
    form.SetMode(dmStop);
    EXPECT_TRUE(form.StatusBar1->currentMessage().isEmpty());
}

TEST_F(TMainFormModes, SoundCardDialogClosesIntoStopWithOkOrCancel) {
    TMainForm& form = MakeForm();
    ASSERT_EQ(form.Selection.OutputDeviceIndex, 0);
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok);
        int downWhileOpen = -1;
        QTimer::singleShot(0, &form, [&] {
            downWhileOpen = DownStep(form);
            QComboBox* outputs = form.SndCardDialog->ComboBox2;
            outputs->setCurrentIndex(outputs->findData(1));
            ok ? form.SndCardDialog->accept() : form.SndCardDialog->reject();
        });
        form.SndCardBtn->click();
        EXPECT_EQ(downWhileOpen, 1);
        ExpectStopped(form);
        EXPECT_EQ(form.Selection.OutputDeviceIndex, ok ? 1 : 0);
    }
}

// ---- displays, switches and sliders --------------------------------------------------------

TEST_F(TMainFormControls, OutputLevelBarUsesTwoPixelsPerDbRoundedHalfToEven) {
    TMainForm& form = MakeForm();
    struct TCase {
        float Rms, Peak;
        int Width, MarkLeft;
        bool Clip;
    };
    const TCase cases[] = {
        {-10.0f, -3.0f, 111, 123, false},
        {-0.75f, 0.0f, 129, 129, true}, // 2 * -0.75 = -1.5 rounds to -2
        {0.25f, -0.25f, 131, 129, false},
        {3.0f, 3.0f, 131, 135, true}, // beyond full scale the bar ends at its frame
        {-999.0f, -999.0f, 0, 131 - 1998 - 2, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Rms);
        form.ShowOutputLevel(c.Rms, c.Peak);
        EXPECT_EQ(form.Shape11->width(), c.Width);
        EXPECT_EQ(form.Shape12->x(), c.MarkLeft);
        EXPECT_EQ(form.Shape13->Brush(), c.Clip ? QColor(Qt::red) : QColor(Qt::gray));
    }
}

TEST_F(TMainFormControls, StoppingAgainStillClearsEveryDisplay) {
    TMainForm& form = MakeForm();
    form.OutputFiguresChanged({-12.0f, 0.5f, 19.6});
    form.RecordingProgress(1.5f); // beyond the end: the bar stops at its maximum
    EXPECT_EQ(form.ProgressBar1->value(), 100);
    form.InputLevelsChanged({-1.3f, 1e5f}); // far beyond full scale: cut to the frame
    EXPECT_EQ(form.Shape2->geometry().left(), 0);
    EXPECT_EQ(form.Shape2->width(), form.Panel4->width());
    EXPECT_EQ(form.Label19->text(), "-12 dBFS");
    EXPECT_EQ(form.Label8->text(), "20 dB");
    EXPECT_EQ(form.Shape13->Brush(), QColor(Qt::red));

    form.SetMode(dmStop);
    for (QLabel* label : {form.Label19, form.Label20, form.Label21, form.Label8})
        EXPECT_TRUE(label->text().isEmpty());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(form.Shape2->width(), 0);
    EXPECT_EQ(form.Shape11->width(), 0);
    EXPECT_EQ(form.Shape13->Brush(), QColor(Qt::gray));
}

TEST_F(TMainFormControls, DynamicsNeverRunWithoutTheEqualizer) {
    TMainForm& form = MakeForm();
    const TMicEqualizer& equalizer = form.Dsp->Equalizer();
    form.CheckBox3->click();
    EXPECT_TRUE(form.CheckBox2->isChecked());
    EXPECT_TRUE(equalizer.ClipperEnabled());
    EXPECT_TRUE(equalizer.EqualizerEnabled());
    EXPECT_TRUE(form.Modified());
    EXPECT_EQ(form.StatusText(), "  Modified profile");

    form.CheckBox2->click();
    EXPECT_FALSE(form.CheckBox3->isChecked());
    EXPECT_FALSE(equalizer.ClipperEnabled());
    EXPECT_FALSE(equalizer.EqualizerEnabled());

    form.CheckBox3->click();
    EXPECT_TRUE(form.CheckBox2->isChecked());
    EXPECT_TRUE(equalizer.EqualizerEnabled());
}

TEST_F(TMainFormControls, SoftwareGainAndNoiseBoxesEnableTheirControls) {
    TMainForm& form = MakeForm();
    form.CheckBox1->click();
    EXPECT_TRUE(form.SpinEdit2->isEnabled());
    EXPECT_EQ(form.SpinEdit2->palette().color(QPalette::Base),
              form.palette().color(QPalette::Base));
    form.CheckBox1->click();
    EXPECT_EQ(form.SpinEdit2->palette().color(QPalette::Base),
              form.palette().color(QPalette::Button));
    EXPECT_FALSE(form.Modified()); // settings, not profile values

    form.Label8->setText("3 dB");
    form.CheckBox4->click();
    EXPECT_TRUE(form.VolumeSlider2->isEnabled());
    EXPECT_TRUE(form.RadioButton2->isEnabled());
    EXPECT_TRUE(form.Label8->text().isEmpty());
    form.CheckBox4->click();
    EXPECT_FALSE(form.RadioButton1->isEnabled());
}

TEST_F(TMainFormControls, ResetFlattensTheSevenBands) {
    TMainForm& form = MakeForm();
    form.Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetBands({3, -4, 5, 0, 2, 1, -6}); });
    form.SpeedButton2->click();
    for (float band : form.Dsp->Equalizer().Bands())
        EXPECT_EQ(band, 0.0f);
    EXPECT_TRUE(form.Modified());
}

TEST(TMainFormInputBar, MapsTheExcursionOntoTheFrameAndTurnsRedBeyond80Percent) {
    struct TCase {
        float minFs, maxFs;
        int32_t width, left, barWidth;
        bool red;
    };
    const TCase cases[] = {
        {-1.0f, 1.0f, 200, 0, 202, true},  // full-scale square: the whole frame plus 2
        {0.0f, 0.0f, 201, 100, 2, false},  // silence: 2 pixels in the middle
        {-0.8f, 0.8f, 100, 10, 82, false}, // 80 % is still green
        {-0.875f, 0.0f, 100, 6, 46, true}, // -43.75 -> -44, 43.75 -> 44
        {0.0f, 0.875f, 100, 50, 46, true}, {-0.25f, 0.25f, 100, 38, 27, false}, // -12.5 -> -12, 25
        {0.0f, 0.01f, 100, 50, 2, false},                                       // 0.5 -> 0
    };
    for (const TCase& c : cases) {
        const TInputBar bar = InputBarGeometry({c.minFs, c.maxFs}, c.width);
        EXPECT_EQ(bar.Left, c.left) << c.minFs << " " << c.maxFs;
        EXPECT_EQ(bar.Width, c.barWidth) << c.minFs << " " << c.maxFs;
        EXPECT_EQ(bar.Red, c.red) << c.minFs << " " << c.maxFs;
    }
}

TEST(TMainFormInputBar, CaptionsRoundHalvesToEven) {
    EXPECT_EQ(DbfsCaption(-2.5f), "-2 dBFS");
    EXPECT_EQ(DbfsCaption(-1980.0f), "-1980 dBFS");
    EXPECT_EQ(DbCaption(3.5L), "4 dB");
}

TEST(TMainFormHints, SliderHintsRoundToWholeDecibels) {
    EXPECT_EQ(PlaybackVolumeHint(0.0f), "0 dB");
    EXPECT_EQ(PlaybackVolumeHint(5.0f), "+5 dB");
    EXPECT_EQ(PlaybackVolumeHint(0.4f), "+0 dB");
    EXPECT_EQ(PlaybackVolumeHint(-20.0f), "-20 dB");
    EXPECT_EQ(OutputGainHint(0.0f), "0 dB");
    EXPECT_EQ(OutputGainHint(-12.0f), "-12 dB");
    EXPECT_EQ(OutputGainHint(-80.0f), "-80 dB");
}

TEST_F(TMainFormControls, PlaybackVolumeReachesTheOutputOnlyWhilePlaying) {
    GiveVoice();
    TMainForm& form = MakeReadyForm();
    const TDsp& dsp = *form.Dsp;
    const float before = dsp.InterpolatorGainDb();
    form.VolumeSlider1->SetValue(1.0f);
    form.VolumeSlider1Change();
    EXPECT_EQ(dsp.InterpolatorGainDb(), before);
    EXPECT_EQ(form.VolumeSlider1->Hint(), "+20 dB");

    form.SetMode(dmPlay);
    EXPECT_EQ(dsp.InterpolatorGainDb(), 20.0f);
    form.VolumeSlider1->SetValue(0.75f);
    form.VolumeSlider1Change();
    EXPECT_EQ(dsp.InterpolatorGainDb(), 0.0f);
    EXPECT_EQ(form.VolumeSlider1->Hint(), "0 dB");
    EXPECT_FALSE(form.Modified());
}

TEST_F(TMainFormControls, OutputGainMarksModifiedOnlyWhenItDiffersFromTheRunningGain) {
    TMainForm& form = MakeReadyForm();
    const TDsp& dsp = *form.Dsp;
    ASSERT_EQ(dsp.InterpolatorGainDb(), 0.0f);
    form.VolumeSlider3Change(); // 0 dB, as applied
    EXPECT_FALSE(form.Modified());
    EXPECT_EQ(form.VolumeSlider3->Hint(), "0 dB");

    form.VolumeSlider3->SetValue(0.85f); // -12 dB while not processing
    form.VolumeSlider3Change();
    EXPECT_TRUE(form.Modified());
    EXPECT_EQ(dsp.InterpolatorGainDb(), 0.0f);
    EXPECT_EQ(form.VolumeSlider3->Hint(), "-12 dB");

    form.SetMode(dmProcess);
    EXPECT_NEAR(dsp.InterpolatorGainDb(), -12.0f, 1e-4f);
    form.SetModified(false);
    form.VolumeSlider3Change(); // the same value again
    EXPECT_FALSE(form.Modified());
    form.VolumeSlider3->SetValue(0.7f);
    form.VolumeSlider3Change();
    EXPECT_TRUE(form.Modified());
    EXPECT_NEAR(dsp.InterpolatorGainDb(), -24.0f, 1e-4f);
}

// ---- profiles ------------------------------------------------------------------------------

TEST_F(TMainFormProfiles, SaveAsksForAFileInTheProfileFolder) {
    TMainForm& form = MakeForm();
    form.SpeedButton5->click(); // cancelled
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Title, "Save profile");
    EXPECT_TRUE(Dialogs[0].ForSave);
    EXPECT_EQ(Dialogs[0].Folder, form.ProfileFolder());
    EXPECT_EQ(Dialogs[0].Filters, (QStringList{"Profiles (*.ini)", "All files (*)"}));
    EXPECT_EQ(Dialogs[0].DefaultSuffix, "ini");
    EXPECT_EQ(form.StatusText(), "  Default profile");

    form.MarkModified();
    ChosenFile = form.ProfileFolder() + "/Contest.ini";
    form.SpeedButton5->click();
    EXPECT_TRUE(QFileInfo::exists(ChosenFile));
    EXPECT_EQ(form.StatusText(), "  Profile: " + ChosenFile);
    EXPECT_FALSE(form.Modified());
    form.SpeedButton5->click();
    EXPECT_EQ(Dialogs.back().FileName, ChosenFile); // offered the current profile
}

TEST_F(TMainFormProfiles, LoadAsksToSaveChangesFirst) {
    TMainForm& form = MakeForm();
    const QString saved = form.ProfileFolder() + "/Saved.ini";
    const QString other = form.ProfileFolder() + "/Other.ini";
    WriteFileBytes(other.toStdString(), "[Equalizer]\nBand0=6\n");
    ChosenFile = saved;
    form.SpeedButton5->click();
    form.MarkModified();

    YesNoCancel = QMessageBox::Cancel;
    form.SpeedButton7->click();
    EXPECT_EQ(Questions, QStringList{"Save changes?"});
    EXPECT_EQ(Dialogs.size(), 1u); // only the save above

    YesNoCancel = QMessageBox::No;
    ChosenFile = other;
    form.SpeedButton7->click();
    ASSERT_EQ(Dialogs.size(), 2u);
    EXPECT_EQ(Dialogs[1].Title, "Load Profile");
    EXPECT_FALSE(Dialogs[1].ForSave);
    EXPECT_EQ(Dialogs[1].FileName, saved); // the save dialog's last file
    EXPECT_EQ(form.Dsp->Equalizer().Bands()[0], 6.0f);
    EXPECT_EQ(form.StatusText(), "  Profile: " + other);
    EXPECT_FALSE(form.Modified());

    form.MarkModified();
    YesNoCancel = QMessageBox::Yes; // saves into the chosen file, then loads it
    form.SpeedButton7->click();
    ASSERT_EQ(Dialogs.size(), 4u);
    EXPECT_TRUE(Dialogs[2].ForSave);
    EXPECT_FALSE(Dialogs[3].ForSave);
}

TEST_F(TMainFormProfiles, ClosingAModifiedProfileAsksAndCancelKeepsTheWindow) {
    TMainForm& form = MakeForm();
    form.Launch();
    EXPECT_TRUE(form.close()); // unmodified: no question
    EXPECT_TRUE(Questions.isEmpty());

    form.show();
    form.MarkModified();
    YesNoCancel = QMessageBox::Cancel;
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Questions, QStringList{"Save modified profile?"});
    YesNoCancel = QMessageBox::Yes; // its dialog is cancelled: the window closes anyway
    EXPECT_TRUE(form.close());
    EXPECT_EQ(Dialogs.size(), 1u);
}

// ---- a whole run ---------------------------------------------------------------------------

TEST_F(TMainFormLifecycle, SettingsAndTheLastProfileSurviveARestart) {
    {
        TMainForm& form = MakeForm();
        bool closed = false;
        form.OnClosed = [&] { closed = true; };
        form.Launch();
        form.Selection = {0, 1};
        form.SpinEdit2->setValue(-7);
        form.CheckBox1->click();
        form.VolumeSlider1->SetValue(0.6f);
        ChosenFile = form.ProfileFolder() + "/Evening.ini";
        form.SpeedButton5->click();
        form.CheckBox3->click(); // modified after saving, and not saved on close
        YesNoCancel = QMessageBox::No;
        ASSERT_TRUE(form.close());
        ASSERT_TRUE(WaitFor([&] { return closed; }));
        Form.reset();
    }
    const std::string ini = ReadFileBytes(SettingsPath());
    EXPECT_NE(ini.find("SoftGain=-7"), std::string::npos) << ini;
    EXPECT_NE(ini.find("OutputDevice=02  Demo transmitter"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LastProfile=" + ChosenFile.toStdString()), std::string::npos) << ini;

    TMainForm& again = MakeForm();
    EXPECT_EQ(again.SpinEdit2->value(), -7);
    EXPECT_TRUE(again.SpinEdit2->isEnabled());
    EXPECT_EQ(again.Selection.OutputDeviceIndex, 1);
    EXPECT_FLOAT_EQ(again.VolumeSlider1->Value(), 0.6f);
    EXPECT_EQ(again.StatusText(), "  Profile: " + ChosenFile);
    EXPECT_FALSE(again.CheckBox3->isChecked());
    EXPECT_FALSE(again.Modified());
}

TEST_F(TMainFormLifecycle, ABadSettingsValueIsShownTheFileKeptAndTheWindowStillComesUp) {
    std::filesystem::create_directories(SettingsDir());
    WriteFileBytes(SettingsPath(), "[Playback]\nVolume=loud\n");
    TMainForm& form = MakeForm();
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains("loud")) << Errors[0].toStdString();
    EXPECT_EQ(form.windowTitle(), "Sonari");
    EXPECT_TRUE(form.GainBtn->isEnabled());
    // What could not be read survives the settings written at the end.
    Form.reset();
    EXPECT_EQ(ReadFileBytes(SettingsPath().string() + ".bak"), "[Playback]\nVolume=loud\n");
}

TEST_F(TMainFormLifecycle, SessionEndSavesTheSettingsAndStopsWithoutAsking) {
    TMainForm& form = MakeReadyForm();
    form.SetMode(dmProcess);
    form.MarkModified();
    bool ended = false;
    form.SafeShutdown1->SetTerminator([&] { ended = true; });
    form.SafeShutdown1->Shutdown();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(Questions.isEmpty());
    EXPECT_FALSE(form.Dsp->Running());
    EXPECT_NE(ReadFileBytes(SettingsPath()).find("[Startup]"), std::string::npos);
}

} // namespace
} // namespace sonari::test
