#pragma once

#include "engine/DspView.h"

#include <string>
#include <vector>

namespace sonari::test {

// The main window as the engine sees it: settable controls, recorded reports.
class TFakeDspView : public IDspView {
public:
    // controls
    bool SoftGainOn = false;
    int32_t SoftGainDb = 0;
    float Volume = 0.75f; // 0 dB
    float Gain = 1.0f;    // 0 dB
    bool EqualizerOn = true;
    bool ClipperOn = false;
    bool NoiseOn = false;
    bool Qrn = true;
    bool Visible = true;
    int32_t BarWidth = 200;
    int32_t ProgressMaximum = 100;
    bool ConfirmAnswer = true;

    // reports
    std::vector<TInputBar> Bars;
    std::vector<TOutputFigures> Figures;
    std::vector<bool> Overloads;
    int EqualizerInvalidations = 0;
    int DynamicsInvalidations = 0;
    std::vector<int32_t> Progress;
    bool PlayEnabled = false;
    bool AddNoiseEnabled = false;
    std::vector<std::string> Questions;
    int StopRequests = 0;
    std::vector<std::string> Errors;
    int Completions = 0;
    std::vector<std::string> EndReasons;

    bool SoftwareGainEnabled() const override { return SoftGainOn; }
    int32_t SoftwareGainDb() const override { return SoftGainDb; }
    float PlaybackVolume() const override { return Volume; }
    float OutputGain() const override { return Gain; }
    bool EqualizerChecked() const override { return EqualizerOn; }
    bool ClipperChecked() const override { return ClipperOn; }
    bool AddNoiseChecked() const override { return NoiseOn; }
    bool QrnSelected() const override { return Qrn; }
    bool WindowVisible() const override { return Visible; }
    int32_t InputBarClientWidth() const override { return BarWidth; }
    int32_t ProgressMax() const override { return ProgressMaximum; }

    void SetInputBar(const TInputBar& bar) override { Bars.push_back(bar); }
    void ShowOutputFigures(const TOutputFigures& figures) override { Figures.push_back(figures); }
    void SetPlaybackOverload(bool overloaded) override { Overloads.push_back(overloaded); }
    void InvalidateEqualizer() override { ++EqualizerInvalidations; }
    void InvalidateDynamics() override { ++DynamicsInvalidations; }
    void SetProgressPosition(int32_t position) override { Progress.push_back(position); }
    void EnablePlayButton() override { PlayEnabled = true; }
    void EnableAddNoise() override { AddNoiseEnabled = true; }
    bool Confirm(const std::string& question) override {
        Questions.push_back(question);
        return ConfirmAnswer;
    }
    void RequestStop() override { ++StopRequests; }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    void RecordingComplete() override { ++Completions; }
    void StreamEnded(const std::string& reason) override { EndReasons.push_back(reason); }
};

} // namespace sonari::test
