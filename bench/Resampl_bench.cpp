#include "SND/Resampl.h"
#include "SND/SimdPath.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace sonari {
namespace {

// One engine block: 1024 samples at 12 kHz against the device-rate block, on the kernels of
// the path given as the second argument (skipped where the processor lacks it).
bool Configure(benchmark::State& state, TOctaveResampler& r) {
    const int ratio = int(state.range(0));
    const auto path = TSimdPath(state.range(1));
    if (!SimdPathSupported(path)) {
        state.SkipWithError("path not supported here");
        return false;
    }
    ForceSimdPath(path);
    r.SetRatio(ratio);
    r.SetBigBlockSize(1024 * ratio);
    r.Reset();
    ForceSimdPath(std::nullopt);
    state.SetLabel(std::to_string(12 * ratio) + " kHz " + SimdPathName(path));
    return true;
}

void BM_Decimate(benchmark::State& state) {
    TOctaveResampler r;
    if (!Configure(state, r))
        return;
    TSingleArray in(size_t(r.BigBlockSize())), out(size_t(r.SmallBlockSize()));
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = float(1e9 * std::sin(0.01 * double(i)));
    for (auto _ : state) {
        r.Decimate(in, out);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_Interpolate(benchmark::State& state) {
    TOctaveResampler r;
    if (!Configure(state, r))
        return;
    TSingleArray in(size_t(r.SmallBlockSize())), out(size_t(r.BigBlockSize()));
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = float(1e9 * std::sin(0.04 * double(i)));
    for (auto _ : state) {
        r.Interpolate(in, out);
        benchmark::DoNotOptimize(out.data());
    }
}

void Paths(benchmark::internal::Benchmark* b) {
    for (int ratio : {4, 16})
        for (TSimdPath path : kSimdPaths)
            b->Args({ratio, int(path)});
}

BENCHMARK(BM_Decimate)->Apply(Paths)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Interpolate)->Apply(Paths)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace sonari
