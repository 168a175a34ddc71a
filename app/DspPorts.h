#pragma once

#include "app/ModeController.h"
#include "app/ProfileController.h"
#include "engine/Dsp.h"

namespace sonari {

// The engine as the window's controllers see it.
class TDspPorts final : public IModeEngine, public IProfileEngine {
public:
    explicit TDspPorts(TDsp& dsp) : dsp_(dsp) {}

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
};

} // namespace sonari
