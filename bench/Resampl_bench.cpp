#include "SND/Resampl.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace sonari {
namespace {

// One engine block: 1024 samples at 12 kHz against the device-rate block.
void Configure(TOctaveResampler& r, int ratio) {
    r.SetRatio(ratio);
    r.SetBigBlockSize(1024 * ratio);
    r.Reset();
}

void BM_Decimate(benchmark::State& state) {
    const int ratio = int(state.range(0));
    TOctaveResampler r;
    Configure(r, ratio);
    TSingleArray in(size_t(1024 * ratio)), out(1024);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = float(1e9 * std::sin(0.01 * double(i)));
    for (auto _ : state) {
        r.Decimate(in, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(std::to_string(12 * ratio) + " kHz");
}

void BM_Interpolate(benchmark::State& state) {
    const int ratio = int(state.range(0));
    TOctaveResampler r;
    Configure(r, ratio);
    TSingleArray in(1024), out(size_t(1024 * ratio));
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = float(1e9 * std::sin(0.04 * double(i)));
    for (auto _ : state) {
        r.Interpolate(in, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(std::to_string(12 * ratio) + " kHz");
}

BENCHMARK(BM_Decimate)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Interpolate)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace sonari
