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

// Glottal pulses whose pitch glides around 120 Hz, shaped by three formant resonators that
// change every syllable (250 ms: 200 ms voiced, 50 ms pause), over faint breath noise; peaks
// near -12 dBFS on the 2^31 scale.
inline TSingleArray VoiceLikeSignal(int samples) {
    struct TVowel {
        double F1, F2, F3;
    };
    const TVowel vowels[] = {
        {700, 1200, 2600}, {300, 2300, 3000}, {500, 900, 2500}, {400, 1800, 2600}};
    constexpr int kSyllable = 3000, kVoiced = 2400;
    std::mt19937 rng(7);
    std::normal_distribution<double> breath(0.0, 1.0);
    TSingleArray x(samples);
    double phase = 0, y1[3] = {}, y2[3] = {}, peak = 0;
    for (int n = 0; n < samples; ++n) {
        const int syllable = n / kSyllable, inSyllable = n % kSyllable;
        const double t = double(n) / kSceneRate;
        const double f0 = 120 + 15 * std::sin(2 * std::numbers::pi * 0.7 * t);
        phase += f0 / kSceneRate;
        double source = 0;
        if (phase >= 1) {
            phase -= 1;
            if (inSyllable < kVoiced)
                source = std::pow(std::sin(std::numbers::pi * inSyllable / kVoiced), 2);
        }
        const TVowel& v = vowels[syllable % 4];
        double s = source;
        int k = 0;
        for (const double f : {v.F1, v.F2, v.F3}) {
            // two-pole resonance, 80 Hz wide
            const double r = std::exp(-std::numbers::pi * 80 / kSceneRate);
            const double y =
                s + 2 * r * std::cos(2 * std::numbers::pi * f / kSceneRate) * y1[k] - r * r * y2[k];
            y2[k] = y1[k];
            y1[k] = y;
            s = y;
            ++k;
        }
        x[n] = static_cast<float>(s + 1e-4 * breath(rng));
        peak = std::max(peak, std::abs(s));
    }
    const double scale = 0.25 * 2147483647.0 / peak;
    for (float& v : x)
        v = static_cast<float>(v * scale);
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
