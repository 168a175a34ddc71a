#pragma once

#include "engine/LevelMeters.h"

#include <cstdint>
#include <string>

namespace sonari {

// What the engine reads from and reports to the main window. The engine reports numbers and
// errors; the window decides how to show them. Every call comes from the main thread, most of
// them from within the block handler, so none may stop or start the stream directly.
class IDspView {
public:
    virtual ~IDspView() = default;

    // --- read ---
    // "Software Gain" check box and its spin edit, whole dB.
    virtual bool SoftwareGainEnabled() const = 0;
    virtual int32_t SoftwareGainDb() const = 0;
    // Playback volume and output gain sliders, 0..1.
    virtual float PlaybackVolume() const = 0;
    virtual float OutputGain() const = 0;
    // The equalizer's and the gate/compressor/clipper's "Enabled" check boxes.
    virtual bool EqualizerChecked() const = 0;
    virtual bool ClipperChecked() const = 0;
    // "Add Noise" check box, and whether QRN (not QRM) is selected.
    virtual bool AddNoiseChecked() const = 0;
    virtual bool QrnSelected() const = 0;
    // The main window is shown: the displays are worth computing.
    virtual bool WindowVisible() const = 0;
    // Client width of the input bar's frame, pixels.
    virtual int32_t InputBarClientWidth() const = 0;
    // Maximum of the recording progress bar.
    virtual int32_t ProgressMax() const = 0;

    // --- write ---
    virtual void SetInputBar(const TInputBar& bar) = 0;
    // The closed statistics window: "V r.m.s.", "V peak", "Peak Factor" captions, then the
    // output level bar (RmsDbfs, PeakDbfs), then "P.e.p. SNR" when it is set.
    virtual void ShowOutputFigures(const TOutputFigures& figures) = 0;
    // Whether the last limited block was clipped (the playback volume slider's light).
    virtual void SetPlaybackOverload(bool overloaded) = 0;
    // New spectra or a new equalizer response for the equalizer editor.
    virtual void InvalidateEqualizer() = 0;
    // New histograms for the dynamics editor.
    virtual void InvalidateDynamics() = 0;
    virtual void SetProgressPosition(int32_t position) = 0;
    // A voice recording is loaded: step 4 may start.
    virtual void EnablePlayButton() = 0;
    // Both noise recordings were read: "Add Noise" may be used.
    virtual void EnableAddNoise() = 0;
    // Asks the question (OK / Cancel); true for OK.
    virtual bool Confirm(const std::string& question) = 0;
    // The recording prompt was cancelled: the window switches to mode 0.
    virtual void RequestStop() = 0;
    // An error for the operator: a rejected sound file, a failed load, an exception from the
    // block handler (streaming goes on).
    virtual void ShowError(const std::string& message) = 0;
    // The file being written reached 5 seconds. The window must act on it only after the block
    // handler has returned (queue it): stop, and reload the voice after a recording.
    virtual void RecordingComplete() = 0;
    // The stream ended by itself (device gone, driver failure), with the reason. The engine
    // still holds the devices until Stop.
    virtual void StreamEnded(const std::string& reason) = 0;
};

} // namespace sonari
