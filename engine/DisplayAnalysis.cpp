#include "engine/DisplayAnalysis.h"

namespace sonari {

TDisplayAnalysis::TDisplayAnalysis(IDspView& view) : view_(view) {
    inSpectrum_.MaxCount = kInSpectrumBlocks;
}

void TDisplayAnalysis::Add(const TAnalysisTaps& taps, TDspMode mode, int32_t blockCount,
                           bool measure, const std::optional<TNoiseReference>& noise) {
    if (mode == dmAdjustGain || mode == dmRecord) {
        if (const auto levels = inputMeter_.Update(taps.Input, blockCount))
            view_.InputLevelsChanged(*levels);
    }
    if (!measure)
        return;
    bool spectra = inSpectrum_.Process(taps.Filtered, mode != dmAdjustGain);
    spectra = outSpectrum_.Process(taps.Processed, false) || spectra;
    if (spectra)
        view_.SpectraChanged();
    envelope_ = taps.Envelope;
    if (histograms_.Collect(taps.SampleEnvelope, taps.SampleGain))
        view_.HistogramsChanged();
    if (const auto figures =
            outputStats_.Update(taps.Processed, blockCount, noise ? &*noise : nullptr))
        view_.OutputFiguresChanged(*figures);
}

void TDisplayAnalysis::Reset() {
    inSpectrum_.Reset();
    outSpectrum_.Reset();
}

} // namespace sonari
