#include "SND/HalfBandStages.h"

#include "SND/VectorMemory.h"

#include <algorithm>
#include <cstring>
#include <utility>

// One kernel template per stage, instantiated for each path's register width inside a function
// compiled for that instruction set. Vectors travel between the inlined helpers by reference:
// Clang rejects wide vectors passed by value to a function compiled without the wide registers.
// The file is built with -ffp-contract=off, so no path fuses a multiply and an add.

namespace sonari {
namespace {

using vec::Load;
using vec::Store;
using vec::TLanes;

// Outputs per chunk: the chunk's input, converted to double, stays in the first-level cache.
constexpr size_t kChunk = 256;
// Output registers summed side by side, enough to hide the adder's latency.
constexpr int kRows = 4; // the unroll pragmas below match it

template <int W, size_t... I>
[[gnu::always_inline]] inline void EvenOdd(const typename TLanes<W>::F2& v,
                                           typename TLanes<W>::F& even, typename TLanes<W>::F& odd,
                                           std::index_sequence<I...>) {
    even = __builtin_shufflevector(v, v, (2 * I)...);
    odd = __builtin_shufflevector(v, v, (2 * I + 1)...);
}

// (a0, b0, a1, b1, ...)
template <int W, size_t... I>
[[gnu::always_inline]] inline void
Interleave(const typename TLanes<W>::F& a, const typename TLanes<W>::F& b,
           typename TLanes<W>::F2& ab, std::index_sequence<I...>) {
    ab = __builtin_shufflevector(a, b, ((I % 2) ? W + I / 2 : I / 2)...);
}

// even[t] = x[2t] for t < evens, odd[t] = x[2t + 1] for t < odds (odds <= evens).
template <int W>
[[gnu::always_inline]] inline void SplitPhases(const float* x, double* even, size_t evens,
                                               double* odd, size_t odds) {
    using L = TLanes<W>;
    size_t t = 0;
    for (; t + W <= odds; t += W) {
        typename L::F2 v;
        typename L::F e, o;
        Load(v, x + 2 * t);
        EvenOdd<W>(v, e, o, std::make_index_sequence<W>());
        Store(even + t, __builtin_convertvector(e, typename L::D));
        Store(odd + t, __builtin_convertvector(o, typename L::D));
    }
    for (; t < odds; ++t) {
        even[t] = x[2 * t];
        odd[t] = x[2 * t + 1];
    }
    for (; t < evens; ++t)
        even[t] = x[2 * t];
}

template <int W>
[[gnu::always_inline]] inline void ToDouble(const float* x, double* d, size_t count) {
    using L = TLanes<W>;
    size_t t = 0;
    for (; t + W <= count; t += W) {
        typename L::F v;
        Load(v, x + t);
        Store(d + t, __builtin_convertvector(v, typename L::D));
    }
    for (; t < count; ++t)
        d[t] = x[t];
}

// acc[r] += sum_k h_k (x[t+K-1-k] + x[t+K+k]) for the Rows registers of W outputs from t = 0:
// the mirrored pair is added first, so each tap costs one multiply.
template <int W, int Rows>
[[gnu::always_inline]] inline void AddSymmetricTaps(int pairs, const double* h, const double* x,
                                                    typename TLanes<W>::D (&acc)[Rows]) {
    for (int k = 0; k < pairs; ++k) {
        const double* lo = x + pairs - 1 - k;
        const double* hi = x + pairs + k;
#pragma GCC unroll 4
        for (int r = 0; r < Rows; ++r) {
            typename TLanes<W>::D a, b;
            Load(a, lo + r * W);
            Load(b, hi + r * W);
            acc[r] += h[k] * (a + b);
        }
    }
}

// Rows registers of W outputs: y[t] = c0 o[t] + sum_k h_k (e[t+K-1-k] + e[t+K+k]).
template <int W, int Rows>
[[gnu::always_inline]] inline void DecimateRows(int pairs, double centre, const double* h,
                                                const double* e, const double* o, float* y) {
    using D = typename TLanes<W>::D;
    D acc[Rows];
#pragma GCC unroll 4
    for (int r = 0; r < Rows; ++r) {
        Load(acc[r], o + r * W);
        acc[r] *= centre;
    }
    AddSymmetricTaps<W, Rows>(pairs, h, e, acc);
#pragma GCC unroll 4
    for (int r = 0; r < Rows; ++r)
        Store(y + r * W, __builtin_convertvector(acc[r], typename TLanes<W>::F));
}

template <int W>
[[gnu::always_inline]] inline void DecimateStage(const THalfBandFilter& filter, const float* x,
                                                 float* y, size_t outputs) {
    const int pairs = filter.pairs;
    double h[THalfBandFilter::kMaxPairs];
    std::copy_n(filter.coefficients.begin(), pairs, h);
    const double centre = filter.centre;
    // Only even samples meet the taps, only odd ones the centre.
    double even[kChunk + 2 * THalfBandFilter::kMaxPairs - 1];
    double odd[kChunk + THalfBandFilter::kMaxPairs - 1];
    for (size_t first = 0; first < outputs; first += kChunk) {
        const size_t count = std::min(kChunk, outputs - first);
        SplitPhases<W>(x + 2 * first, even, count + 2 * pairs - 1, odd, count + pairs - 1);
        // The centre of output t is x[2t + 2K - 1].
        const double* centres = odd + pairs - 1;
        size_t t = 0;
        for (; t + kRows * W <= count; t += kRows * W)
            DecimateRows<W, kRows>(pairs, centre, h, even + t, centres + t, y + first + t);
        for (; t + W <= count; t += W)
            DecimateRows<W, 1>(pairs, centre, h, even + t, centres + t, y + first + t);
        for (; t < count; ++t) {
            double sum = centre * centres[t];
            for (int k = 0; k < pairs; ++k)
                sum += h[k] * (even[t + pairs - 1 - k] + even[t + pairs + k]);
            y[first + t] = static_cast<float>(sum);
        }
    }
}

// Rows registers of W new samples: y[2t] = c0 x[t+K-1], y[2t+1] = sum_k h_k (d[t+K-1-k] +
// d[t+K+k]).
template <int W, int Rows>
[[gnu::always_inline]] inline void InterpolateRows(int pairs, float centre, const double* h,
                                                   const double* d, const float* x, float* y) {
    using L = TLanes<W>;
    typename L::D acc[Rows] = {};
    AddSymmetricTaps<W, Rows>(pairs, h, d, acc);
#pragma GCC unroll 4
    for (int r = 0; r < Rows; ++r) {
        typename L::F kept;
        Load(kept, x + pairs - 1 + r * W);
        kept *= centre;
        typename L::F2 pair;
        Interleave<W>(kept, __builtin_convertvector(acc[r], typename L::F), pair,
                      std::make_index_sequence<2 * W>());
        Store(y + 2 * r * W, pair);
    }
}

template <int W>
[[gnu::always_inline]] inline void InterpolateStage(const THalfBandFilter& filter, const float* x,
                                                    float* y, size_t inputs) {
    const int pairs = filter.pairs;
    double h[THalfBandFilter::kMaxPairs];
    std::copy_n(filter.coefficients.begin(), pairs, h);
    double d[kChunk + 2 * THalfBandFilter::kMaxPairs - 1];
    for (size_t first = 0; first < inputs; first += kChunk) {
        const size_t count = std::min(kChunk, inputs - first);
        const float* chunk = x + first;
        ToDouble<W>(chunk, d, count + 2 * pairs - 1);
        size_t t = 0;
        for (; t + kRows * W <= count; t += kRows * W)
            InterpolateRows<W, kRows>(pairs, filter.centre, h, d + t, chunk + t,
                                      y + 2 * (first + t));
        for (; t + W <= count; t += W)
            InterpolateRows<W, 1>(pairs, filter.centre, h, d + t, chunk + t, y + 2 * (first + t));
        for (; t < count; ++t) {
            double sum = 0.0;
            for (int k = 0; k < pairs; ++k)
                sum += h[k] * (d[t + pairs - 1 - k] + d[t + pairs + k]);
            y[2 * (first + t)] = filter.centre * chunk[t + pairs - 1];
            y[2 * (first + t) + 1] = static_cast<float>(sum);
        }
    }
}

void DecimateSse2(const THalfBandFilter& f, const float* x, float* y, size_t n) {
    DecimateStage<2>(f, x, y, n);
}
[[gnu::target("avx2")]] void DecimateAvx2(const THalfBandFilter& f, const float* x, float* y,
                                          size_t n) {
    DecimateStage<4>(f, x, y, n);
}
void InterpolateSse2(const THalfBandFilter& f, const float* x, float* y, size_t n) {
    InterpolateStage<2>(f, x, y, n);
}
[[gnu::target("avx2")]] void InterpolateAvx2(const THalfBandFilter& f, const float* x, float* y,
                                             size_t n) {
    InterpolateStage<4>(f, x, y, n);
}
} // namespace

void DecimateHalfBand(TSimdPath path, const THalfBandFilter& filter, const float* x, float* y,
                      size_t outputs) {
    if (path == TSimdPath::Avx2)
        DecimateAvx2(filter, x, y, outputs);
    else
        DecimateSse2(filter, x, y, outputs);
}

void InterpolateHalfBand(TSimdPath path, const THalfBandFilter& filter, const float* x, float* y,
                         size_t inputs) {
    if (path == TSimdPath::Avx2)
        InterpolateAvx2(filter, x, y, inputs);
    else
        InterpolateSse2(filter, x, y, inputs);
}

} // namespace sonari
