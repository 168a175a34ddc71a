#include "SND/Fft.h"
#include "SND/SimdPath.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#ifdef SONARI_BENCH_FFTW
#include <fftw3.h>
#endif

namespace sonari {
namespace {

std::vector<float> Noise(int count) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& x : v)
        x = dist(rng);
    return v;
}

// Each iteration transforms a fresh copy of the same noise (the copy is part of the figure, as
// FFTW's out-of-place plans below need none), on the kernels of the path given as the second
// argument (skipped where the processor lacks it).
template <typename Transform>
void TimeTransform(benchmark::State& state, Transform transform, int grownBy = 0) {
    const int n = static_cast<int>(state.range(0));
    const auto path = TSimdPath(state.range(1));
    if (!SimdPathSupported(path)) {
        state.SkipWithError("path not supported here");
        return;
    }
    state.SetLabel(SimdPathName(path));
    ForceSimdPath(path);
    TFftWork work;
    if (grownBy > 0) {
        std::vector<float> big(grownBy);
        work.Rdft(grownBy, 1, big.data());
    }
    const std::vector<float> x = Noise(n);
    std::vector<float> a(n);
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), a.begin());
        transform(work, n, a.data());
        benchmark::DoNotOptimize(a.data());
    }
    ForceSimdPath(std::nullopt);
}

void Paths(benchmark::internal::Benchmark* b, std::initializer_list<int> sizes) {
    for (int n : sizes)
        for (TSimdPath path : kSimdPaths)
            b->Args({n, int(path)});
}

void BM_Rdft(benchmark::State& state) {
    TimeTransform(state, [](TFftWork& w, int n, float* a) { w.Rdft(n, 1, a); });
}
BENCHMARK(BM_Rdft)->Apply([](auto* b) { Paths(b, {2048, 4096, 8192}); });

// The equalizer's block filter: its tables were grown by the 8192-point response curve, so the
// real pass reads the cosine table with a stride.
void BM_RdftSharedTables(benchmark::State& state) {
    TimeTransform(
        state, [](TFftWork& w, int n, float* a) { w.Rdft(n, 1, a); }, 8192);
}
BENCHMARK(BM_RdftSharedTables)->Apply([](auto* b) { Paths(b, {2048}); });

void BM_RdftInverse(benchmark::State& state) {
    TimeTransform(state, [](TFftWork& w, int n, float* a) { w.Rdft(n, -1, a); });
}
BENCHMARK(BM_RdftInverse)->Apply([](auto* b) { Paths(b, {2048}); });

void BM_Cdft(benchmark::State& state) {
    TimeTransform(state, [](TFftWork& w, int n, float* a) { w.Cdft(n, 1, a); });
}
BENCHMARK(BM_Cdft)->Apply([](auto* b) { Paths(b, {4096}); });

void BM_CdftInverse(benchmark::State& state) {
    TimeTransform(state, [](TFftWork& w, int n, float* a) { w.Cdft(n, -1, a); });
}
BENCHMARK(BM_CdftInverse)->Apply([](auto* b) { Paths(b, {4096}); });

#ifdef SONARI_BENCH_FFTW
// Reference figures: FFTW single precision, measured plans, out of place as FFTW prefers.
void RunPlan(benchmark::State& state, fftwf_plan plan, void* in, void* out) {
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(out);
    fftwf_free(in);
}

void BM_FftwRealForward(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    float* in = fftwf_alloc_real(n);
    fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    const std::vector<float> x = Noise(n);
    std::copy(x.begin(), x.end(), in);
    RunPlan(state, plan, in, out);
}
BENCHMARK(BM_FftwRealForward)->Arg(2048)->Arg(4096)->Arg(8192);

void BM_FftwComplex(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0)) / 2;
    fftwf_complex* in = fftwf_alloc_complex(points);
    fftwf_complex* out = fftwf_alloc_complex(points);
    fftwf_plan plan = fftwf_plan_dft_1d(points, in, out, FFTW_FORWARD, FFTW_MEASURE);
    const std::vector<float> x = Noise(2 * points);
    std::copy(x.begin(), x.end(), &in[0][0]);
    RunPlan(state, plan, in, out);
}
BENCHMARK(BM_FftwComplex)->Arg(4096);
#endif

} // namespace
} // namespace sonari
