#include "SND/MicEqual.h"
#include "SND/OvershootControl.h"
#include "engine/SoundFiles.h"
#include "engine/SoundPaths.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace sonari {
namespace {

constexpr int kBlock = 1024;

// Speech-like test block: two tones with noise at about -20 dBFS.
TSingleArray VoiceBlock(int index) {
    std::mt19937 rng(static_cast<unsigned>(index));
    std::normal_distribution<float> noise(0.0f, 2e7f);
    TSingleArray x(kBlock);
    for (int i = 0; i < kBlock; ++i) {
        const double t = (index * kBlock + i) / 12000.0;
        x[i] = static_cast<float>(1e8 * std::sin(2 * std::numbers::pi * 440 * t) +
                                  5e7 * std::sin(2 * std::numbers::pi * 1310 * t)) +
               noise(rng);
    }
    return x;
}

// Engine configuration: 1024-sample blocks, defaults otherwise.
void RunProcess(benchmark::State& state, bool equalizer, bool clipper, bool analysis,
                float compression = 1.0f, bool overshootControl = true) {
    TMicEqualizer eq;
    eq.SetDataBlockSize(kBlock);
    eq.SetEqualizerEnabled(equalizer);
    eq.SetClipperEnabled(clipper);
    eq.SetAnalysisOn(analysis);
    eq.SetCompression(compression);
    eq.SetOvershootControl(overshootControl);
    eq.Prepare();
    const TSingleArray input = VoiceBlock(1);
    TSingleArray block(kBlock);
    for (auto _ : state) {
        block = input;
        if (equalizer || clipper)
            eq.Process(block);
        else
            eq.Analyze(block);
        benchmark::DoNotOptimize(block.data());
    }
}

void BM_ProcessEqualizer(benchmark::State& state) { RunProcess(state, true, false, false); }
BENCHMARK(BM_ProcessEqualizer)->Unit(benchmark::kMicrosecond);

// The clipper without and with the overshoot control: the difference is what the control costs.
void BM_ProcessEqualizerClipper(benchmark::State& state) {
    RunProcess(state, true, true, true, 1.0f, state.range(0) != 0);
}
BENCHMARK(BM_ProcessEqualizerClipper)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The overshoot control's look-ahead over a block that stays below the ceiling: the scan alone,
// which every block pays however few corrections it needs.
void BM_OvershootScan(benchmark::State& state) {
    TOvershootControl control;
    TComplexArray pulse;
    MakeOvershootPulse(12000, 394.0L, 2606.0L, 128, pulse);
    control.SetPulse(pulse);
    control.SetCeiling(1.0f);
    TSingleArray inPhase(kBlock), quadrature(kBlock), out(kBlock);
    for (int i = 0; i < kBlock; ++i) {
        const double phase = 2 * std::numbers::pi * 1000 * i / 12000.0;
        inPhase[i] = static_cast<float>(0.9 * std::cos(phase));
        quadrature[i] = static_cast<float>(-0.9 * std::sin(phase));
    }
    for (auto _ : state) {
        control.Process(inPhase.data(), quadrature.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_OvershootScan)->Unit(benchmark::kMicrosecond);

// Real speech through the clipper, block after block: the demo voice (espeak-ng) at -6 dBFS
// peaks, without (0) and with (1) the overshoot control. Its cost depends on how often the
// envelope overshoots, which the steady two tones above do far more than speech.
void BM_ProcessSpeechClipper(benchmark::State& state) {
    TSingleArray voice;
    try {
        voice = ReadWavFile(ProgramFolder() + "Wav/DemoVoice.wav", [](const std::string&) {});
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    const float peak = *std::max_element(
        voice.begin(), voice.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    for (float& x : voice)
        x *= 0.5f * 2147483648.0f / std::fabs(peak);
    TMicEqualizer eq;
    eq.SetDataBlockSize(kBlock);
    eq.SetClipperEnabled(true);
    eq.SetAnalysisOn(true);
    eq.SetOvershootControl(state.range(0) != 0);
    eq.Prepare();
    const size_t blocks = voice.size() / kBlock;
    TSingleArray block(kBlock);
    size_t next = 0;
    for (auto _ : state) {
        std::copy_n(voice.begin() + static_cast<ptrdiff_t>(next * kBlock), kBlock, block.begin());
        next = (next + 1) % blocks;
        eq.Process(block);
        benchmark::DoNotOptimize(block.data());
    }
}
BENCHMARK(BM_ProcessSpeechClipper)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_AnalyzeOnly(benchmark::State& state) { RunProcess(state, false, false, true); }
BENCHMARK(BM_AnalyzeOnly)->Unit(benchmark::kMicrosecond);

// What one mouse movement over a band costs while the equalizer editor drags it.
void BM_Rebuild(benchmark::State& state) {
    TMicEqualizer eq;
    eq.SetDataBlockSize(kBlock);
    float gain = 0.0f;
    for (auto _ : state) {
        gain = gain > 10.0f ? -10.0f : gain + 0.5f;
        eq.SetBand(3, gain);
        benchmark::DoNotOptimize(eq.Response().data());
    }
}
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMicrosecond);

// The same for a cut-off drag, which redesigns the band-pass kernel instead.
void BM_RebuildCutoff(benchmark::State& state) {
    TMicEqualizer eq;
    eq.SetDataBlockSize(kBlock);
    int32_t hz = 2000;
    for (auto _ : state) {
        hz = hz > 3000 ? 2000 : hz + 10;
        eq.SetCutoffHi(hz);
        benchmark::DoNotOptimize(eq.Response().data());
    }
}
BENCHMARK(BM_RebuildCutoff)->Unit(benchmark::kMicrosecond);

// The clipper at a compression ratio other than 1, which needs a power per sample.
void BM_ProcessClipperCompressing(benchmark::State& state) {
    RunProcess(state, true, true, true, 3.0f);
}
BENCHMARK(BM_ProcessClipperCompressing)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace sonari
