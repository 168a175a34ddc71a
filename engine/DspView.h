#pragma once

#include "engine/LevelMeters.h"

#include <string>

namespace sonari {

// What the engine reports to whoever shows it (the main window, a console): numbers in
// physical units and events. The receiver decides how to show them; nothing here asks it for
// anything. Calls come from the thread that runs the engine's main side, never from inside a
// device's callback, so a receiver may stop or start the engine only later (queue it).
class IDspView {
public:
    virtual ~IDspView() = default;

    // Capture modes, every 5th block: the input's excursion since the last report.
    virtual void InputLevelsChanged(const TInputLevels& levels) = 0;
    // A closed statistics window of the output.
    virtual void OutputFiguresChanged(const TOutputFigures& figures) = 0;
    // Whether the last limited block had to be clipped.
    virtual void OverloadChanged(bool overloaded) = 0;
    // A new input or output spectrum (read from the engine's analysis).
    virtual void SpectraChanged() = 0;
    // New envelope histograms (read from the engine's analysis).
    virtual void HistogramsChanged() = 0;
    // The file being written: its length as a fraction of the 5-second limit (beyond 1 on the
    // last blocks).
    virtual void RecordingProgress(float fraction) = 0;
    // The file being written reached 5 seconds; further blocks report again until the run stops.
    virtual void RecordingComplete() = 0;
    // An error for the operator: a rejected sound file, a failed load, an exception from the
    // block handler (streaming goes on).
    virtual void Error(const std::string& message) = 0;
    // The stream ended by itself (device gone, driver failure), with the reason. The engine
    // still holds the devices until Stop.
    virtual void StreamEnded(const std::string& reason) = 0;
};

// A view that shows nothing: for runs nobody watches.
class TSilentDspView : public IDspView {
public:
    void InputLevelsChanged(const TInputLevels&) override {}
    void OutputFiguresChanged(const TOutputFigures&) override {}
    void OverloadChanged(bool) override {}
    void SpectraChanged() override {}
    void HistogramsChanged() override {}
    void RecordingProgress(float) override {}
    void RecordingComplete() override {}
    void Error(const std::string&) override {}
    void StreamEnded(const std::string&) override {}
};

} // namespace sonari
