#include "app/ModeController.h"

#include "SND/WDM/WdmErrors.h"

#include <QGuiApplication>
#include <QScopedValueRollback>

#include <cmath>

namespace sonari {
namespace {

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

TModeController::TModeController(IModeEngine& engine, IModeView& view, TPrompts& prompts)
    : engine_(engine), view_(view), prompts_(prompts) {
    CtrlHeld = [] {
        return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
    };
}

void TModeController::SetMode(TDspMode mode) {
    if (mode == dmPlay && CtrlHeld())
        mode = dmPlayToFile;
    ++run_;
    view_.ShowStep(mode);
    engine_.Stop();
    // The list is read again whenever a device may be chosen or opened, never while streaming.
    if (mode != dmStop)
        engine_.RefreshDevices();
    UpdateStepButtons();
    view_.ClearDisplays();
    view_.ShowRunning(false);
    engine_.SetMode(mode);
    StartMode(mode);
    // What follows reads the engine's mode again: a nested SetMode(dmStop) made while starting
    // (dialog closed, prompt cancelled, failure) wins.
    const TDspMode now = engine_.Mode();
    view_.ShowLowerArea(now != dmAdjustGain && now != dmRecord);
    view_.ShowRunning(now == dmProcess);
    view_.RepaintEditors();
}

void TModeController::StartMode(TDspMode mode) {
    try {
        switch (mode) {
        case dmSelectDevices:
            view_.SelectDevices();
            break;
        case dmAdjustGain:
            engine_.StartInput();
            break;
        case dmRecord:
            StartRecordingIfConfirmed();
            break;
        case dmPlay:
            engine_.StartOutput();
            break;
        case dmPlayToFile:
            engine_.StartOutputToFile();
            break;
        case dmProcess:
            // Hidden in the tray nothing shows the displays: they are not computed.
            engine_.SetDisplaysVisible(view_.DisplaysVisible());
            engine_.StartDuplex();
            break;
        case dmStop:
            break;
        }
    } catch (...) {
        // Silence the devices before the box waits for the operator.
        engine_.Stop();
        prompts_.ShowError(ExceptionText(std::current_exception()));
        SetMode(dmStop);
    }
}

// Recording starts only where the prompt was asked: the same run, the window still on screen
// (minimizing under the prompt ends the step here, once the prompt has its answer).
void TModeController::StartRecordingIfConfirmed() {
    const int run = run_;
    bool confirmed = false;
    {
        const QScopedValueRollback<bool> asking(asking_, true);
        confirmed = prompts_.ConfirmOkCancel(kRecordPrompt);
    }
    if (run != run_)
        return; // a later change stands
    if (confirmed && view_.DisplaysVisible())
        engine_.StartRecording();
    else
        SetMode(dmStop);
}

void TModeController::ModeBtnClick(int tag, bool down) {
    SetMode(down ? static_cast<TDspMode>(tag) : dmStop);
}

// A chosen device that is missing is named until it is back or another one is chosen.
void TModeController::UpdateStepButtons() {
    view_.EnableSteps(engine_.DevicesValid(), engine_.HasVoice());
    const std::string missing = engine_.MissingDevice();
    view_.ShowNote(missing.empty() ? QString() : QString::fromStdString("  " + missing));
}

void TModeController::ShowLatency() {
    const double ms = engine_.LatencyEstimateMs();
    if (engine_.Mode() != dmProcess || !std::isfinite(ms) || !engine_.MissingDevice().empty())
        return;
    view_.ShowNote(
        QString("  Latency from microphone to transmitter: about %1 ms").arg(std::lround(ms)));
}

// Blocks after the 5-second mark report again until the stop, and the operator may have moved
// on before a report is handled: each report names the run it concerns.
void TModeController::RecordingComplete() {
    view_.Post([this, run = run_] { RecordingCompleteMessage(run); });
}

void TModeController::StreamEnded(const QString& reason) {
    view_.Post([this, run = run_, reason] { StreamEndedMessage(run, reason); });
}

void TModeController::RecordingCompleteMessage(int run) {
    if (run != run_)
        return;
    const TDspMode mode = engine_.Mode();
    SetMode(dmStop);
    if (mode == dmRecord && engine_.LoadVoice())
        UpdateStepButtons();
}

void TModeController::StreamEndedMessage(int run, const QString& reason) {
    if (run != run_)
        return;
    SetMode(dmStop);
    const QString text = "Streaming stopped: " + reason;
    view_.ShowNote("  " + text);
    prompts_.ShowError(text);
}

} // namespace sonari
