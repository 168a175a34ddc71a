#pragma once

#include "app/Prompts.h"
#include "engine/DspMode.h"

#include <QString>

#include <functional>

namespace sonari {

// What changing modes needs of the engine.
class IModeEngine {
public:
    virtual ~IModeEngine() = default;

    virtual TDspMode Mode() const = 0;
    // Only between Stop and a start operation.
    virtual void SetMode(TDspMode mode) = 0;
    // Stops the stream and completes an open file; never raises.
    virtual void Stop() noexcept = 0;
    // The start operations of modes 2 to 6; failures propagate.
    virtual void StartInput() = 0;
    virtual void StartRecording() = 0;
    virtual void StartOutput() = 0;
    virtual void StartOutputToFile() = 0;
    virtual void StartDuplex() = 0;
    // Processing measures for the displays only while they can be seen; set before it starts.
    virtual void SetDisplaysVisible(bool visible) = 0;
    virtual bool DevicesValid() const = 0;
    // Reads the device list again (never while streaming): a device plugged in since is offered,
    // one that is gone becomes missing.
    virtual void RefreshDevices() = 0;
    // "Sound device not found: <caption>" while a chosen device is missing, else "".
    virtual std::string MissingDevice() const = 0;
    // While processing runs: the delay from microphone to transmitter in ms; NaN while unknown.
    virtual double LatencyEstimateMs() const = 0;
    virtual bool HasVoice() const = 0;
    // Reads the recorded voice; false when there was none to read.
    virtual bool LoadVoice() = 0;
};

// What changing modes shows in the window.
class IModeView {
public:
    virtual ~IModeView() = default;

    // The step button of `mode` down (step 4 also for mode 5, none while processing), the
    // others up.
    virtual void ShowStep(TDspMode mode) = 0;
    // Steps 2 and 3 need valid devices, step 4 also a voice recording.
    virtual void EnableSteps(bool devicesValid, bool hasVoice) = 0;
    // Meters, figures and the progress bar emptied.
    virtual void ClearDisplays() = 0;
    // Tray icon, tray menu and toolbar show whether live processing runs.
    virtual void ShowRunning(bool running) = 0;
    // The lower control area; hidden while the microphone is set up (steps 2 and 3).
    virtual void ShowLowerArea(bool shown) = 0;
    virtual void RepaintEditors() = 0;
    // A note in the status bar; "" removes it.
    virtual void ShowNote(const QString& note) = 0;
    // The sound card dialog, modal; its closing sets dmStop.
    virtual void SelectDevices() = 0;
    // The displays can be seen now (the window is shown and not minimized).
    virtual bool DisplaysVisible() const = 0;
    // Runs `call` once the current event has been handled.
    virtual void Post(std::function<void()> call) = 0;
};

// The only place that changes the engine's mode. Every change stops the engine, clears the
// displays and runs exactly one start operation; a failure is shown and ends in dmStop. The
// engine's events about a run (recording complete, stream ended) arrive while its block handler
// runs; they are handled later and only while that run is still the current one. Main thread
// only.
class TModeController {
public:
    TModeController(IModeEngine& engine, IModeView& view, TPrompts& prompts);

    TDspMode Mode() const { return engine_.Mode(); }
    // dmPlay with Ctrl held becomes dmPlayToFile.
    void SetMode(TDspMode mode);
    // A step button was clicked and is now `down` (or was released: dmStop).
    void ModeBtnClick(int tag, bool down);
    void UpdateStepButtons();
    // While processing runs and no device is missing, the status bar gives the latency as the
    // devices report it; called now and then.
    void ShowLatency();

    // The record prompt is open: the step waits for the operator with the engine stopped, and
    // nothing else may change the mode under it.
    bool Asking() const { return asking_; }
    // Counts SetMode calls: the run a report belongs to.
    int Run() const { return run_; }
    // From the engine: the file being written reached its length; the stream ended by itself.
    void RecordingComplete();
    void StreamEnded(const QString& reason);
    // The queued handling of those events for run `run`: stop (and reload the voice after
    // step 3); stop and say why. Ignored once another run has begun.
    void RecordingCompleteMessage(int run);
    void StreamEndedMessage(int run, const QString& reason);

    // Whether Ctrl is held now; replaceable for tests.
    std::function<bool()> CtrlHeld;

private:
    void StartMode(TDspMode mode);
    void StartRecordingIfConfirmed();

    IModeEngine& engine_;
    IModeView& view_;
    TPrompts& prompts_;
    int run_ = 0;
    bool asking_ = false;
};

} // namespace sonari
