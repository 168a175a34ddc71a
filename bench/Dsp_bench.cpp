#include "SND/WDM/Sim/SimPlatform.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "engine/Dsp.h"
#include "engine/ProcessingChain.h"
#include "tests/engine/FakeDspView.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>

namespace sonari {
namespace {

// Speech-like capture at `rate`: syllable bursts of two tones over noise, `blocks` device
// buffers of one processing block each.
std::vector<TSingleArray> CaptureBlocks(int32_t rate, int blocks) {
    const size_t frames = static_cast<size_t>(1024 * (rate / 12000));
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 1e7f);
    std::vector<TSingleArray> result(static_cast<size_t>(blocks), TSingleArray(frames));
    for (size_t b = 0; b < result.size(); ++b)
        for (size_t i = 0; i < frames; ++i) {
            const double t = double(b * frames + i) / rate;
            const double syllable = std::max(0.0, std::sin(2 * std::numbers::pi * 3.1 * t));
            result[b][i] =
                static_cast<float>(syllable * (7e8 * std::sin(2 * std::numbers::pi * 410 * t) +
                                               3e8 * std::sin(2 * std::numbers::pi * 1530 * t))) +
                noise(random);
        }
    return result;
}

// One block handler call (mode 6: microphone through the whole chain to the transmitter) per
// iteration, on stereo device buffers; 85.3 ms of signal per block.
void RunDuplex(benchmark::State& state, int32_t rate, bool clipper, bool windowVisible) {
    TWdmAudio audio(std::make_unique<TSimPlatform>());
    TSynchronizer sync;
    test::TFakeDspView view;
    const TDeviceSelection selection;
    TDsp dsp(audio, sync, view, selection, {});
    dsp.EditEqualizer([clipper](TMicEqualizer& eq) { eq.SetClipperEnabled(clipper); });
    dsp.SetAnalysisOn(windowVisible);
    dsp.SetMode(dmProcess);
    dsp.PrepareRun(rate, rate);

    const std::vector<TSingleArray> capture = CaptureBlocks(rate, 16);
    const size_t frames = capture[0].size();
    TDataBufferF in(2, TSingleArray(frames)), out(2, TSingleArray(frames));
    size_t next = 0;
    for (auto _ : state) {
        in[0] = capture[next];
        next = (next + 1) % capture.size();
        dsp.WdmData(in, out);
        benchmark::DoNotOptimize(out[1].data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1024.0 / 12000.0, benchmark::Counter::kIsRate);
}

void BM_DspBlock48kClipperDisplays(benchmark::State& state) { RunDuplex(state, 48000, true, true); }
BENCHMARK(BM_DspBlock48kClipperDisplays)->Unit(benchmark::kMicrosecond);

// Hidden in the tray: no spectra, histograms or statistics.
void BM_DspBlock48kClipperHidden(benchmark::State& state) { RunDuplex(state, 48000, true, false); }
BENCHMARK(BM_DspBlock48kClipperHidden)->Unit(benchmark::kMicrosecond);

void BM_DspBlock48kEqualizerOnly(benchmark::State& state) { RunDuplex(state, 48000, false, false); }
BENCHMARK(BM_DspBlock48kEqualizerOnly)->Unit(benchmark::kMicrosecond);

// The chain alone, as a file or a hidden window runs it.
void BM_ChainBlock48kClipper(benchmark::State& state) {
    TMicEqualizer equalizer;
    equalizer.SetDataBlockSize(1024);
    equalizer.SetClipperEnabled(true);
    TChainParameters parameters;
    parameters.Equalizer = equalizer.Parameters();
    TProcessingChain chain;
    chain.Prepare({48000, 48000, true, false, 1024}, parameters);
    const std::vector<TSingleArray> capture = CaptureBlocks(48000, 16);
    TSingleArray out(capture[0].size());
    size_t next = 0;
    for (auto _ : state) {
        chain.Process(capture[next], out);
        next = (next + 1) % capture.size();
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ChainBlock48kClipper)->Unit(benchmark::kMicrosecond);

void BM_DspBlock192kClipperDisplays(benchmark::State& state) {
    RunDuplex(state, 192000, true, true);
}
BENCHMARK(BM_DspBlock192kClipperDisplays)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace sonari
