#pragma once

// Engine data as a playing run leaves it, for the editor tests and benchmarks: an equalizer
// with a few bands set and the dynamics stage on, and spectra and histograms from a voice-like
// signal run through the chain block by block in the engine's order.

#include "app/EditorContext.h"

#include <cmath>
#include <numbers>
#include <random>

namespace sonari::test {

inline constexpr int kSceneRate = 12000;
inline constexpr int kSceneBlock = 1024;

// Harmonics of a pitch gliding around 120 Hz, falling 6 dB per octave, in syllables of 250 ms
// (200 ms voiced, 50 ms pause) over faint noise; peaks near -12 dBFS on the 2^31 scale.
inline TSingleArray VoiceLikeSignal(int samples) {
    std::mt19937 rng(7);
    std::normal_distribution<double> breath(0.0, 1e-4);
    TSingleArray x(samples);
    double phase = 0;
    for (int n = 0; n < samples; ++n) {
        const double t = double(n) / kSceneRate;
        phase += 2 * std::numbers::pi * (120 + 15 * std::sin(2 * std::numbers::pi * 0.7 * t)) /
                 kSceneRate;
        const int inSyllable = n % 3000;
        const double voiced =
            inSyllable < 2400 ? std::sin(std::numbers::pi * inSyllable / 2400) : 0;
        double s = breath(rng);
        for (int k = 1; k <= 40; ++k)
            s += voiced * std::sin(k * phase) / k / 6;
        x[n] = static_cast<float>(s * 0.25 * 2147483647.0);
    }
    return x;
}

// The engine's data behind both editors, with a mode and a count of "modified" calls.
struct TEditorScene {
    TEditorScene() {
        Equalizer.SetDataBlockSize(kSceneBlock);
        Equalizer.SetBands({-3.0f, 2.0f, 4.0f, 0.0f, 3.5f, 6.0f, -6.0f});
        Equalizer.SetEqualizerEnabled(true);
        Equalizer.SetClipperEnabled(true);
        Equalizer.SetAnalysisOn(true);
        Equalizer.SetCompression(2.5f);
    }
    TEditorScene(const TEditorScene&) = delete;
    TEditorScene& operator=(const TEditorScene&) = delete;

    TEditorContext Context() {
        return {Equalizer,
                [this](const std::function<void(TMicEqualizer&)>& edit) { edit(Equalizer); },
                Analysis, [this] { return Mode; }, [this] { ++Modified; }};
    }

    // Plays `blocks` blocks of the voice through equalizer, dynamics stage and analysis as
    // the engine does in mode 4; the last block falls in the middle of a syllable.
    void PlayVoice(int blocks = 31) {
        const TSingleArray voice = VoiceLikeSignal(blocks * kSceneBlock);
        TMicEqualizer processing = Equalizer;
        processing.Prepare();
        TSingleArray block(kSceneBlock);
        for (int b = 0; b < blocks; ++b) {
            const TSingleArray input(voice.begin() + b * kSceneBlock,
                                     voice.begin() + (b + 1) * kSceneBlock);
            block = input;
            processing.Process(block);
            Analysis.Add({input, input, block, processing.SampleEnvelope(), processing.SampleGain(),
                          processing.Envelope()},
                         dmPlay, b, true, std::nullopt);
        }
    }
    const TLogFreqSpectrum& InSpectrum() const { return Analysis.InSpectrum(); }
    const TLogFreqSpectrum& OutSpectrum() const { return Analysis.OutSpectrum(); }

    TMicEqualizer Equalizer;
    TSilentDspView View;
    TDisplayAnalysis Analysis{View};
    TDspMode Mode = dmStop;
    int Modified = 0;
};

} // namespace sonari::test
