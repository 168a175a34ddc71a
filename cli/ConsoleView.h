#pragma once

#include "engine/DspView.h"

#include <cstdint>
#include <iosfwd>
#include <string>

namespace sonari::cli {

// The engine's window for a console: the processing switches as a profile left them, the
// statistics as text lines, errors on the error stream.
class TConsoleView : public IDspView {
public:
    TConsoleView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // What the window's controls would hold.
    bool EqualizerOn = true;
    bool ClipperOn = false;
    float OutputGainValue = 1.0f; // "Output Gain" slider 0..1: 0 dB
    // Print a line for every closed statistics window (and compute them at all).
    bool ShowStatistics = false;

    // Why the stream ended by itself; "" while it did not.
    const std::string& EndReason() const { return endReason_; }

    bool SoftwareGainEnabled() const override { return false; }
    int32_t SoftwareGainDb() const override { return 0; }
    float PlaybackVolume() const override { return 0.75f; }
    float OutputGain() const override { return OutputGainValue; }
    bool EqualizerChecked() const override { return EqualizerOn; }
    bool ClipperChecked() const override { return ClipperOn; }
    bool AddNoiseChecked() const override { return false; }
    bool QrnSelected() const override { return true; }
    bool WindowVisible() const override { return ShowStatistics; }
    int32_t InputBarClientWidth() const override { return 0; }
    int32_t ProgressMax() const override { return 100; }

    void SetInputBar(const TInputBar&) override {}
    void ShowOutputFigures(const TOutputFigures& figures) override;
    void SetPlaybackOverload(bool) override {}
    void InvalidateEqualizer() override {}
    void InvalidateDynamics() override {}
    void SetProgressPosition(int32_t) override {}
    void EnablePlayButton() override {}
    void EnableAddNoise() override {}
    bool Confirm(const std::string&) override { return false; }
    void RequestStop() override {}
    void ShowError(const std::string& message) override;
    void RecordingComplete() override {}
    void StreamEnded(const std::string& reason) override { endReason_ = reason; }

private:
    std::ostream& out_;
    std::ostream& err_;
    int64_t windows_ = 0;
    std::string endReason_;
};

} // namespace sonari::cli
