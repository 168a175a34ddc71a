#pragma once

#include "SND/LogFreq.h"
#include "SND/SndTypes.h"
#include "engine/DspMode.h"
#include "engine/DspView.h"
#include "engine/LevelMeters.h"

#include <cstdint>
#include <optional>

namespace sonari {

// One block of the chain as the displays see it, 12000 samples/s.
struct TAnalysisTaps {
    const TSingleArray& Input;          // after the software gain
    const TSingleArray& Filtered;       // after the DC blocker
    const TSingleArray& Processed;      // after the equalizer and dynamics
    const TSingleArray& SampleEnvelope; // the gain stage's instantaneous envelope
    const TSingleArray& SampleGain;     // and the gain it applied
    float Envelope = 0.0f;              // its smoothed envelope at the block's end
};

// What the window's displays show, measured block by block: the input level bar (capture
// modes), the two spectra, the envelope histograms with the smoothed envelope and the output
// statistics. Results are reported to the view; the editors read the analysers in between.
class TDisplayAnalysis {
public:
    static constexpr int32_t kInSpectrumBlocks = 59; // averaging limit of the input spectrum

    explicit TDisplayAnalysis(IDspView& view);

    // Adds block number `blockCount` of a run in `mode`. `measure`: the displays are worth
    // computing (the window is shown); the input meter runs regardless. `noise`: the mixer's
    // figures while noise is added.
    void Add(const TAnalysisTaps& taps, TDspMode mode, int32_t blockCount, bool measure,
             const std::optional<TNoiseReference>& noise);
    // A run ended: the spectra start again.
    void Reset();

    const TLogFreqSpectrum& InSpectrum() const { return inSpectrum_; }
    const TLogFreqSpectrum& OutSpectrum() const { return outSpectrum_; }
    const THistograms& Histograms() const { return histograms_; }
    // The gain stage's smoothed envelope at the end of the last measured block.
    float Envelope() const { return envelope_; }
    const TInputMeter& InputMeter() const { return inputMeter_; }

private:
    IDspView& view_;
    TInputMeter inputMeter_;
    TLogFreqSpectrum inSpectrum_;  // before the equalizer, averaged except in mode 2
    TLogFreqSpectrum outSpectrum_; // after the dynamics stage, never averaged
    THistograms histograms_;
    TOutputStats outputStats_;
    float envelope_ = 1e-10f;
};

} // namespace sonari
