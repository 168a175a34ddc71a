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
// buffers of one processing block of `blockSize` samples each.
std::vector<TSingleArray> CaptureBlocks(int32_t rate, int blocks, int32_t blockSize) {
    const size_t frames = static_cast<size_t>(blockSize * (rate / 12000));
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
// iteration, on stereo device buffers, with the main thread's share of the displays; 85.3 ms of
// signal per block, 10.7 ms at low latency.
void RunDuplex(benchmark::State& state, int32_t rate, bool clipper, bool windowVisible,
               TLatencyMode latency = lmNormal) {
    TWdmAudio audio(std::make_unique<TSimPlatform>());
    TSynchronizer sync;
    test::TFakeDspView view;
    const TDeviceSelection selection;
    TDsp dsp(audio, sync, view, selection, {});
    dsp.EditEqualizer([clipper](TMicEqualizer& eq) { eq.SetClipperEnabled(clipper); });
    dsp.SetAnalysisOn(windowVisible);
    dsp.SetLatencyMode(latency);
    dsp.SetMode(dmProcess);
    dsp.PrepareRun(rate, rate);

    const int32_t blockSize = dsp.Chain().Layout().BlockSize;
    const std::vector<TSingleArray> capture = CaptureBlocks(rate, 16 * 1024 / blockSize, blockSize);
    const size_t frames = capture[0].size();
    TDataBufferF in(2, TSingleArray(frames)), out(2, TSingleArray(frames));
    size_t next = 0;
    for (auto _ : state) {
        in[0] = capture[next];
        next = (next + 1) % capture.size();
        dsp.WdmData(in, out);
        dsp.DeliverReports(); // the displays' share, which the main thread does
        benchmark::DoNotOptimize(out[1].data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * blockSize / 12000.0, benchmark::Counter::kIsRate);
}

void BM_DspBlock48kClipperDisplays(benchmark::State& state) { RunDuplex(state, 48000, true, true); }
BENCHMARK(BM_DspBlock48kClipperDisplays)->Unit(benchmark::kMicrosecond);

// Hidden in the tray: no spectra, histograms or statistics.
void BM_DspBlock48kClipperHidden(benchmark::State& state) { RunDuplex(state, 48000, true, false); }
BENCHMARK(BM_DspBlock48kClipperHidden)->Unit(benchmark::kMicrosecond);

void BM_DspBlock48kEqualizerOnly(benchmark::State& state) { RunDuplex(state, 48000, false, false); }
BENCHMARK(BM_DspBlock48kEqualizerOnly)->Unit(benchmark::kMicrosecond);

// The short blocks of the low-latency live path; "realtime" compares the cost with the 1024-sample
// blocks'.
void BM_DspShortBlock48kClipperDisplays(benchmark::State& state) {
    RunDuplex(state, 48000, true, true, lmLow);
}
BENCHMARK(BM_DspShortBlock48kClipperDisplays)->Unit(benchmark::kMicrosecond);

// The chain alone, as a file or a hidden window runs it.
void BM_ChainBlock48kClipper(benchmark::State& state) {
    TMicEqualizer equalizer;
    equalizer.SetDataBlockSize(1024);
    equalizer.SetClipperEnabled(true);
    TChainParameters parameters;
    parameters.Equalizer = equalizer.Parameters();
    TProcessingChain chain;
    chain.Prepare({48000, 48000, true, false, 1024}, parameters);
    const std::vector<TSingleArray> capture = CaptureBlocks(48000, 16, 1024);
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
