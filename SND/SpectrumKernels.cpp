#include "SND/SpectrumKernels.h"

#include "SND/FloatRounding.h"
#include "SND/VectorMemory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <immintrin.h>
#include <utility>

// Products of floats are exact in double, so a double result is one rounding away from the
// exact value, as the extended one is; FloatRounding.h says when both give the same float.

namespace sonari {
namespace {

using vec::Load;
using vec::Store;
using vec::TLanes;

// Vectors travel between the inlined helpers by reference: wide vectors passed by value to a
// function compiled without the wide registers would change the calling convention.

// W complex numbers as their real and imaginary parts in double lanes.
template <int W, size_t... I>
[[gnu::always_inline]] inline void LoadParts(const TComplex* z, typename TLanes<W>::D& re,
                                             typename TLanes<W>::D& im, std::index_sequence<I...>) {
    typename TLanes<W>::F2 v;
    Load(v, z);
    re = __builtin_convertvector(__builtin_shufflevector(v, v, (2 * I)...), typename TLanes<W>::D);
    im = __builtin_convertvector(__builtin_shufflevector(v, v, (2 * I + 1)...),
                                 typename TLanes<W>::D);
}

template <int W, size_t... I>
[[gnu::always_inline]] inline void StoreParts(TComplex* z, const typename TLanes<W>::D& re,
                                              const typename TLanes<W>::D& im,
                                              std::index_sequence<I...>) {
    const auto r = __builtin_convertvector(re, typename TLanes<W>::F);
    const auto i = __builtin_convertvector(im, typename TLanes<W>::F);
    Store(z, __builtin_shufflevector(r, i, ((I % 2) ? W + I / 2 : I / 2)...));
}

// (ar br, ai br) and (-ai bi, ar bi) of complex pairs (ar, ai), (br, bi) in double lanes.
template <class D, size_t... I>
[[gnu::always_inline]] inline void Products(const D& a, const D& b, const D& sign, D& p, D& q,
                                            std::index_sequence<I...>) {
    const D swapped = __builtin_shufflevector(a, a, (I ^ 1)...);
    const D re = __builtin_shufflevector(b, b, (I & ~size_t{1})...);
    const D im = __builtin_shufflevector(b, b, (I | 1)...);
    p = a * re;
    q = sign * (swapped * im);
}

// Two lanes at a time: the SSE2 instruction is the one every path may inline.
template <int W>
[[gnu::always_inline]] inline void Sqrt(const typename TLanes<W>::D& x,
                                        typename TLanes<W>::D& root) {
    root = typename TLanes<W>::D{}; // set two lanes at a time below
    for (int i = 0; i < W; i += 2) {
        const __m128d pair = _mm_sqrt_pd(__m128d{x[i], x[i + 1]});
        root[i] = pair[0];
        root[i + 1] = pair[1];
    }
}

// p + q of exact products; the lanes where it is a halfway point that the sum had to round to.
// Spectra with few significant bits (the rounding noise in a filter's stop band) often give a
// halfway point exactly, which the two-sum error shows to be no doubt.
template <int W>
[[gnu::always_inline]] inline void Sum(const typename TLanes<W>::D& p,
                                       const typename TLanes<W>::D& q, typename TLanes<W>::D& sum,
                                       typename TLanes<W>::J& doubtful) {
    using J = typename TLanes<W>::J;
    sum = p + q;
    const auto qPart = sum - p;
    const auto error = (p - (sum - qPart)) + (q - qPart);
    const auto inexactDoubles = error != 0;
    J bits, inexact;
    Load(bits, &sum);
    Load(inexact, &inexactDoubles); // all ones in both words of a double
    Doubtful(bits, 0, doubtful);
    doubtful &= inexact;
}

// x y - u v rounded to a float as in extended precision, one number at a time.
float ProductDifference(float x, float y, float u, float v) {
    const double p = double{x} * y, q = -(double{u} * v);
    const double d = p + q;
    const double qPart = d - p;
    if (RoundsSafely(d, 0) || (p - (d - qPart)) + (q - qPart) == 0)
        return static_cast<float>(d);
    return static_cast<float>(static_cast<long double>(p) + q);
}

TComplex Product(TComplex a, TComplex b) {
    return {ProductDifference(a.Re, b.Re, a.Im, b.Im), ProductDifference(a.Im, b.Re, -a.Re, b.Im)};
}

// Blocks go in chunks: vectors first, and in the rare chunk where a lane was in doubt, every
// number of it again one at a time.
constexpr size_t kChunk = 64;

// W / 2 complex numbers per step as pairs of double lanes: (ar br - ai bi, ai br + ar bi). The
// chunk's results wait in `chunk` until its doubts are settled, as out may be a.
template <int W>
[[gnu::always_inline]] inline void MultiplyStage(const TComplex* a, const TComplex* b,
                                                 TComplex* out, size_t count) {
    using L = TLanes<W>;
    constexpr size_t step = W / 2;
    typename L::D sign;
    for (int i = 0; i < W; ++i)
        sign[i] = (i % 2) ? 1.0 : -1.0;
    TComplex chunk[kChunk];
    size_t k = 0;
    while (k + step <= count) {
        const size_t length = std::min(kChunk, (count - k) / step * step);
        typename L::J doubt{};
        for (size_t j = 0; j < length; j += step) {
            typename L::F af, bf;
            Load(af, a + k + j);
            Load(bf, b + k + j);
            const auto x = __builtin_convertvector(af, typename L::D);
            const auto y = __builtin_convertvector(bf, typename L::D);
            typename L::D p, q, sum;
            typename L::J doubtful;
            Products(x, y, sign, p, q, std::make_index_sequence<W>());
            Sum<W>(p, q, sum, doubtful);
            doubt |= doubtful;
            Store(chunk + j, __builtin_convertvector(sum, typename L::F));
        }
        if (AnyLane(doubt)) {
            for (size_t j = 0; j < length; ++j)
                chunk[j] = Product(a[k + j], b[k + j]);
        }
        std::copy_n(chunk, length, out + k);
        k += length;
    }
    for (; k < count; ++k)
        out[k] = Product(a[k], b[k]);
}

// The extended definition.
float Magnitude(TComplex z) {
    const long double re = z.Re, im = z.Im;
    return static_cast<float>(std::sqrt(re * re + im * im));
}

// The double sum is within one rounding of the exact one, its root within half an ulp of that
// sum's and within one rounding of its own: 1.5 ulps in all.
constexpr int64_t kMagnitudeMargin = 4;

// W samples per step.
template <int W>
[[gnu::always_inline]] inline void MagnitudeStage(const TComplex* z, float* magnitude,
                                                  size_t count) {
    using L = TLanes<W>;
    size_t k = 0;
    while (k + W <= count) {
        const size_t length = std::min(kChunk, (count - k) / W * W);
        typename L::J doubt{};
        for (size_t j = k; j < k + length; j += W) {
            typename L::D re, im, root;
            LoadParts<W>(z + j, re, im, std::make_index_sequence<W>());
            Sqrt<W>(re * re + im * im, root);
            typename L::J bits, doubtful;
            Load(bits, &root);
            Doubtful(bits, kMagnitudeMargin, doubtful);
            doubt |= doubtful;
            Store(magnitude + j, __builtin_convertvector(root, typename L::F));
        }
        if (AnyLane(doubt)) {
            for (size_t j = k; j < k + length; ++j)
                magnitude[j] = Magnitude(z[j]);
        }
        k += length;
    }
    for (; k < count; ++k)
        magnitude[k] = Magnitude(z[k]);
}

void MultiplySse2(const TComplex* a, const TComplex* b, TComplex* out, size_t count) {
    MultiplyStage<2>(a, b, out, count);
}
[[gnu::target("avx2")]] void MultiplyAvx2(const TComplex* a, const TComplex* b, TComplex* out,
                                          size_t count) {
    MultiplyStage<4>(a, b, out, count);
}
void MagnitudesSse2(const TComplex* z, float* magnitude, size_t count) {
    MagnitudeStage<2>(z, magnitude, count);
}
[[gnu::target("avx2")]] void MagnitudesAvx2(const TComplex* z, float* magnitude, size_t count) {
    MagnitudeStage<4>(z, magnitude, count);
}

} // namespace

void MultiplySpectra(TSimdPath path, const TComplex* a, const TComplex* b, TComplex* out,
                     size_t count) {
    if (path == TSimdPath::Avx2)
        MultiplyAvx2(a, b, out, count);
    else
        MultiplySse2(a, b, out, count);
}

void Magnitudes(TSimdPath path, const TComplex* z, float* magnitude, size_t count) {
    if (path == TSimdPath::Avx2)
        MagnitudesAvx2(z, magnitude, count);
    else
        MagnitudesSse2(z, magnitude, count);
}

} // namespace sonari
