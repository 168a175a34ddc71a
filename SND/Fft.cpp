#include "SND/Fft.h"

#include "SND/Exceptions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

// Work-array layout:
//   ip[0] = nw, the twiddle table's length in floats; ip[1] = nc, the cosine table's length.
//   ip[2 ...] = bit reversal of the largest complex size Nt = 2 nw (Nt entries).
//   w[0 .. nw-1] = e^{2 pi i j/Nt} for j < Nt/4 as (cos, sin) pairs: a quarter turn, which is
//                  all a radix-4 stage needs; smaller sizes read it with a stride.
//   w[nw .. nw+nc-1] = cosine table of the real transform of size 4 nc:
//                  c[0] = cos(pi/4), c[j] = cos(j delta)/2, c[nc-j] = sin(j delta)/2,
//                  delta = 2 pi/(4 nc), which is c[m] = cos(2 pi m/(4 nc))/2 for 0 < m < nc.

namespace sonari {
namespace {

constexpr const char* kSource = "SND/Fft";

void CheckSize(int n) { Assert(n >= 4 && n <= kFftMaxSize && (n & (n - 1)) == 0, kSource); }

int Log2(int n) {
    int bits = 0;
    while ((1 << bits) < n)
        ++bits;
    return bits;
}

void MakeTwiddles(int nw, int32_t* ip, float* w) {
    const int nt = 2 * nw;
    const long double step = 2.0L * std::numbers::pi_v<long double> / nt;
    for (int j = 0; j < nt / 4; ++j) {
        w[2 * j] = static_cast<float>(std::cos(step * j));
        w[2 * j + 1] = static_cast<float>(std::sin(step * j));
    }
    const int bits = Log2(nt);
    int32_t* rev = ip + 2;
    for (int j = 0; j < nt; ++j) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            r |= ((j >> b) & 1) << (bits - 1 - b);
        rev[j] = r;
    }
    ip[0] = nw;
}

void MakeCosines(int nc, float* c) {
    c[0] = static_cast<float>(std::cos(std::numbers::pi_v<long double> / 4));
    if (nc < 2)
        return;
    // The angle step is rounded to a float first, as the table has always been built.
    const float delta = static_cast<float>(std::numbers::pi_v<long double> / 4 / (nc / 2));
    c[nc / 2] = 0.5f * c[0];
    for (int j = 1; j < nc / 2; ++j) {
        const long double angle = static_cast<long double>(delta) * j;
        c[j] = static_cast<float>(0.5L * std::cos(angle));
        c[nc - j] = static_cast<float>(0.5L * std::sin(angle));
    }
}

// Grows the twiddle table for a transform of n floats; the cosine table lies behind it, so a
// grown twiddle table moves the cosine table and it is built again at its new place.
void EnsureTwiddles(int n, int32_t* ip, float* w) {
    if (n <= 4 * ip[0])
        return;
    MakeTwiddles(n / 4, ip, w);
    if (ip[1] > 0)
        MakeCosines(ip[1], w + ip[0]);
}

void EnsureCosines(int n, int32_t* ip, float* w) {
    if (n <= 4 * ip[1])
        return;
    ip[1] = n / 4;
    MakeCosines(ip[1], w + ip[0]);
}

// Two neighbouring complex points (re, im, re, im). GCC and Clang lower this to SSE on x86-64
// and to NEON on ARM, so the passes below need no per-processor variants.
using TPair = float __attribute__((vector_size(16)));

inline TPair Load(const float* p) {
    TPair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, TPair v) { std::memcpy(p, &v, sizeof v); }

inline TPair SwapReIm(TPair v) { return __builtin_shufflevector(v, v, 1, 0, 3, 2); }
inline TPair SwapPoints(TPair v) { return __builtin_shufflevector(v, v, 2, 3, 0, 1); }
inline TPair FirstPoints(TPair a, TPair b) { return __builtin_shufflevector(a, b, 0, 1, 4, 5); }
inline TPair SecondPoints(TPair a, TPair b) { return __builtin_shufflevector(a, b, 2, 3, 6, 7); }

constexpr TPair kConjugate = {1.0f, -1.0f, 1.0f, -1.0f};

// A factor per point: x * w = x * cos + SwapReIm(x) * sin, with cos = (c, c, ...) and
// sin = (-s, s, ...).
struct TFactor {
    TPair cos, sin;
};

inline TPair Multiply(TPair x, const TFactor& w) { return x * w.cos + SwapReIm(x) * w.sin; }

// Turns (re, im) pairs of two points into a factor.
inline TFactor MakeFactor(TPair w) {
    return {__builtin_shufflevector(w, w, 0, 0, 2, 2),
            __builtin_shufflevector(w, w, 1, 1, 3, 3) * TPair{-1.0f, 1.0f, -1.0f, 1.0f}};
}

// The factors w^1, w^2, w^3 of a radix-4 butterfly.
struct TTwiddles {
    TFactor w1, w2, w3;
};

// Twiddles of the points k and k+1 of a pass of length 4q: w1 = e^{Sign 2 pi i k/4q} from the
// quarter-turn table, w2 = w1^2, w3 = w1^3.
template <int Sign>
TTwiddles PairTwiddles(int k, const float* table, int tableStride) {
    const float* w0 = table + 2 * k * tableStride;
    const float* w1 = w0 + 2 * tableStride;
    const TPair w = TPair{w0[0], w0[1], w1[0], w1[1]} * TPair{1.0f, Sign, 1.0f, Sign};
    const TFactor f1 = MakeFactor(w);
    const TPair sq = Multiply(w, f1);
    const TFactor f2 = MakeFactor(sq);
    return {f1, f2, MakeFactor(Multiply(sq, f1))};
}

// The radix-4 butterfly on the points k, k+q, k+2q, k+3q of a block of 4q, which hold (in
// bit-reversed order) the residues 0, 2, 1, 3; t_r = w^{rk} F_r[k] already includes the twiddle:
//   X[k] = (t0 + t2) + (t1 + t3),        X[k + 2q] = (t0 + t2) - (t1 + t3),
//   X[k + q] = (t0 - t2) + Sign i (t1 - t3),  X[k + 3q] = (t0 - t2) - Sign i (t1 - t3).
// On return x0..x3 hold X[k], X[k+q], X[k+2q], X[k+3q].
template <int Sign>
inline void Butterfly4(TPair& x0, TPair& x1, TPair& x2, TPair& x3) {
    const TPair t0 = x0, t2 = x1, t1 = x2, t3 = x3;
    const TPair s02 = t0 + t2, d02 = t0 - t2, s13 = t1 + t3;
    const TPair r13 =
        SwapReIm(t1 - t3) * TPair{-1.0f * Sign, 1.0f * Sign, -1.0f * Sign, 1.0f * Sign};
    x0 = s02 + s13;
    x2 = s02 - s13;
    x1 = d02 + r13;
    x3 = d02 - r13;
}

// Swaps a[j] and a[rev(j)] for j < rev(j); without a branch, since whether a pair swaps is
// unpredictable. A complex point moves as one 64-bit word.
void BitReverse(int points, float* a, const int32_t* ip) {
    const int32_t* rev = ip + 2;
    const int shift = Log2(2 * ip[0]) - Log2(points);
    for (int j = 0; j < points; ++j) {
        const int r = rev[j] >> shift;
        uint64_t pj, pr;
        std::memcpy(&pj, a + 2 * j, 8);
        std::memcpy(&pr, a + 2 * r, 8);
        const bool swap = j < r;
        const uint64_t newJ = swap ? pr : pj, newR = swap ? pj : pr;
        std::memcpy(a + 2 * j, &newJ, 8);
        std::memcpy(a + 2 * r, &newR, 8);
    }
}

// Transforms of length 4 from bit-reversed input: no twiddles. Two blocks go through the
// butterfly together, one per half of each pair.
template <int Sign>
void FirstRadix4Pass(int points, float* a) {
    for (float* p = a; p < a + 2 * points; p += 16) {
        const TPair a01 = Load(p), a23 = Load(p + 4), b01 = Load(p + 8), b23 = Load(p + 12);
        TPair x0 = FirstPoints(a01, b01), x1 = SecondPoints(a01, b01);
        TPair x2 = FirstPoints(a23, b23), x3 = SecondPoints(a23, b23);
        Butterfly4<Sign>(x0, x1, x2, x3);
        Store(p, FirstPoints(x0, x1));
        Store(p + 4, FirstPoints(x2, x3));
        Store(p + 8, SecondPoints(x0, x1));
        Store(p + 12, SecondPoints(x2, x3));
    }
}

// Transforms of length 8: the radix-2 step and a radix-4 step with w = e^{Sign i pi/4} in
// registers, which saves a pass over the data when log2 of the size is odd.
template <int Sign>
void FirstRadix8Pass(int points, float* a) {
    const float h = static_cast<float>(std::numbers::sqrt2_v<long double> / 2);
    // Point 0 of each pair needs no twiddle, point 1 needs w, w^2, w^3.
    const TFactor w1 = MakeFactor(TPair{1.0f, 0.0f, h, Sign * h});
    const TFactor w2 = MakeFactor(TPair{1.0f, 0.0f, 0.0f, 1.0f * Sign});
    const TFactor w3 = MakeFactor(TPair{1.0f, 0.0f, -h, Sign * h});
    for (float* p = a; p < a + 2 * points; p += 16) {
        TPair x[4];
        for (int j = 0; j < 4; j += 2) {
            // radix 2 on the neighbours (0,1), (2,3) of the pairs j, j+1
            const TPair u = Load(p + 4 * j), v = Load(p + 4 * j + 4);
            const TPair even = FirstPoints(u, v), odd = SecondPoints(u, v);
            const TPair sum = even + odd, diff = even - odd;
            x[j] = FirstPoints(sum, diff);
            x[j + 1] = SecondPoints(sum, diff);
        }
        x[1] = Multiply(x[1], w2);
        x[2] = Multiply(x[2], w1);
        x[3] = Multiply(x[3], w3);
        Butterfly4<Sign>(x[0], x[1], x[2], x[3]);
        for (int j = 0; j < 4; ++j)
            Store(p + 4 * j, x[j]);
    }
}

// Combines transforms of length q (even) into transforms of length 4q. The twiddles are made
// a chunk of points at a time, then applied to that chunk of every block.
template <int Sign>
void Radix4Pass(int points, int q, float* a, const float* table, int tableStride) {
    constexpr int kChunk = 64;
    std::array<TTwiddles, kChunk / 2> chunk;
    float* end = a + 2 * points;
    for (int k0 = 0; k0 < q; k0 += kChunk) {
        const int count = std::min(kChunk, q - k0);
        for (int k = 0; k < count; k += 2)
            chunk[k / 2] = PairTwiddles<Sign>(k0 + k, table, tableStride);
        for (float* block = a + 2 * k0; block < end; block += 8 * q) {
            for (int k = 0; k < count; k += 2) {
                const TTwiddles& tw = chunk[k / 2];
                float* p = block + 2 * k;
                TPair x0 = Load(p);
                TPair x1 = Multiply(Load(p + 2 * q), tw.w2);
                TPair x2 = Multiply(Load(p + 4 * q), tw.w1);
                TPair x3 = Multiply(Load(p + 6 * q), tw.w3);
                Butterfly4<Sign>(x0, x1, x2, x3);
                Store(p, x0);
                Store(p + 2 * q, x1);
                Store(p + 4 * q, x2);
                Store(p + 6 * q, x3);
            }
        }
    }
}

// 2 or 4 points directly; the passes below need at least 8.
template <int Sign>
void SmallTransform(int points, float* a) {
    if (points == 2) {
        const float xr = a[2], xi = a[3];
        a[2] = a[0] - xr;
        a[3] = a[1] - xi;
        a[0] += xr;
        a[1] += xi;
        return;
    }
    const float s02r = a[0] + a[4], s02i = a[1] + a[5], d02r = a[0] - a[4], d02i = a[1] - a[5];
    const float s13r = a[2] + a[6], s13i = a[3] + a[7];
    const float r13r = -Sign * (a[3] - a[7]), r13i = Sign * (a[2] - a[6]);
    a[0] = s02r + s13r;
    a[1] = s02i + s13i;
    a[4] = s02r - s13r;
    a[5] = s02i - s13i;
    a[2] = d02r + r13r;
    a[3] = d02i + r13i;
    a[6] = d02r - r13r;
    a[7] = d02i - r13i;
}

// Transform of n/2 complex points in place: bit reversal, then radix-4 passes (the first one
// radix 8 when log2 of the size is odd).
template <int Sign>
void ComplexTransform(int n, float* a, const int32_t* ip, const float* w) {
    const int points = n / 2;
    if (points < 8) {
        SmallTransform<Sign>(points, a);
        return;
    }
    BitReverse(points, a, ip);
    int length;
    if (Log2(points) % 2 == 1) {
        FirstRadix8Pass<Sign>(points, a);
        length = 8;
    } else {
        FirstRadix4Pass<Sign>(points, a);
        length = 4;
    }
    for (; 4 * length <= points; length *= 4)
        Radix4Pass<Sign>(points, length, a, w, 2 * ip[0] / (4 * length));
}

// Splits the transform Z of the packed pairs z[m] = a[2m] + i a[2m+1] into the transform of the
// real sequence, or (Sign -1) joins it back, for the pairs of points k and N-k:
//   Y = G (Z[k] - conj Z[N-k]),  Z[k] -= Y,  Z[N-k] += conj Y,
//   G = (1/2 - sin(theta)/2) + Sign i cos(theta)/2,  theta = 2 pi k/n.
// Point N/2 stays as it is. k = 1 alone, then k and k+1 together.
template <int Sign>
void RealPass(int n, float* a, const int32_t* ip, const float* w) {
    const int nc = ip[1];
    const float* c = w + ip[0];
    const int stride = 4 * nc / n;
    const int quarter = n / 4;
    if (quarter < 2)
        return;
    {
        const float gr = 0.5f - c[nc - stride], gi = Sign * c[stride];
        float* lo = a + 2;
        float* hi = a + n - 2;
        const float dr = lo[0] - hi[0], di = lo[1] + hi[1];
        const float yr = gr * dr - gi * di, yi = gr * di + gi * dr;
        lo[0] -= yr;
        lo[1] -= yi;
        hi[0] += yr;
        hi[1] -= yi;
    }
    for (int k = 2; k < quarter; k += 2) {
        const int m0 = k * stride, m1 = m0 + stride;
        const TPair g = {0.5f - c[nc - m0], Sign * c[m0], 0.5f - c[nc - m1], Sign * c[m1]};
        float* lo = a + 2 * k;
        float* hi = a + n - 2 * k - 2; // points N-k-1, N-k
        const TPair zLo = Load(lo), zHi = SwapPoints(Load(hi));
        const TPair y = Multiply(zLo - zHi * kConjugate, MakeFactor(g));
        Store(lo, zLo - y);
        Store(hi, SwapPoints(zHi + y * kConjugate));
    }
}

} // namespace

void rdft(int n, int isgn, float* a, int32_t* ip, float* w) {
    CheckSize(n);
    EnsureTwiddles(n, ip, w);
    EnsureCosines(n, ip, w);
    if (isgn >= 0) {
        ComplexTransform<+1>(n, a, ip, w);
        RealPass<+1>(n, a, ip, w);
        const float sum = a[0] + a[1];
        a[1] = a[0] - a[1];
        a[0] = sum;
    } else {
        a[1] = 0.5f * (a[0] - a[1]);
        a[0] -= a[1];
        RealPass<-1>(n, a, ip, w);
        ComplexTransform<-1>(n, a, ip, w);
    }
}

void cdft(int n, int isgn, float* a, int32_t* ip, float* w) {
    CheckSize(n);
    EnsureTwiddles(n, ip, w);
    if (isgn >= 0)
        ComplexTransform<+1>(n, a, ip, w);
    else
        ComplexTransform<-1>(n, a, ip, w);
}

} // namespace sonari
