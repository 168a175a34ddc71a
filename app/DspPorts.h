#pragma once

#include "SND/WDM/DeviceChoice.h"
#include "app/ModeController.h"
#include "app/ProfileController.h"
#include "engine/Dsp.h"

namespace sonari {

// The engine as the window's controllers see it.
class TDspPorts final : public IModeEngine, public IProfileEngine {
public:
    TDspPorts(TDsp& dsp, TWdmAudio& audio, TDeviceSelection& selection)
        : dsp_(dsp), audio_(audio), selection_(selection) {}

    TDspMode Mode() const override { return dsp_.Mode(); }
    void SetMode(TDspMode mode) override { dsp_.SetMode(mode); }
    void Stop() noexcept override { dsp_.Stop(); }
    void StartInput() override { dsp_.StartInput(); }
    void StartRecording() override { dsp_.StartRecording(); }
    void StartOutput() override { dsp_.StartOutput(); }
    void StartOutputToFile() override { dsp_.StartOutputToFile(); }
    void StartDuplex() override { dsp_.StartDuplex(); }
    void SetDisplaysVisible(bool visible) override { dsp_.SetDisplaysVisible(visible); }
    bool DevicesValid() const override { return dsp_.DevicesValid(); }
    void RefreshDevices() override { sonari::RefreshDevices(audio_, selection_); }
    std::string MissingDevice() const override { return MissingDeviceMessage(audio_, selection_); }
    double LatencyEstimateMs() const override { return dsp_.LatencyEstimateMs(); }
    bool HasVoice() const override { return dsp_.HasVoice(); }
    bool LoadVoice() override { return dsp_.LoadVoice(); }

    const TMicEqualizer& Equalizer() const override { return dsp_.Equalizer(); }
    void EditEqualizer(const std::function<void(TMicEqualizer&)>& edit) override {
        dsp_.EditEqualizer(edit);
    }
    float InterpolatorGainDb() const override { return dsp_.InterpolatorGainDb(); }
    void SetOutputGainDb(float gainDb) override { dsp_.SetOutputGainDb(gainDb); }

private:
    TDsp& dsp_;
    TWdmAudio& audio_;
    TDeviceSelection& selection_;
};

} // namespace sonari
