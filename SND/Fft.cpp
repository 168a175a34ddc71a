#include "SND/Fft.h"

#include "SND/Exceptions.h"
#include "SND/SimdPath.h"
#include "SND/VectorMemory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

// Work-array layout (Nt = 2 nw, the largest complex size the tables serve):
//   ip[0] = nw, the twiddle table's length in floats; ip[1] = nc, the cosine table's length.
//   ip[2 ...] = bit reversal of every index below Nt.
//   w[0 .. nw-1] = e^{2 pi i j/Nt} for j < Nt/4 as (cos, sin) pairs: the quarter turn that
//                  all other twiddles are read from.
//   w[nw .. nw+nc-1] = cosine table of the real transform of size 4 nc:
//                  c[0] = cos(pi/4), c[j] = cos(j delta)/2, c[nc-j] = sin(j delta)/2,
//                  delta = 2 pi/(4 nc), which is c[m] = cos(2 pi m/(4 nc))/2 for 0 < m < nc.
//   w[kStageTables ...] = the twiddles of each radix-4 pass, ready for the registers (below).
// The first two parts never pass n/2 floats, so the stage tables always have the upper half.
//
// The transform: a pass that bit-reverses the points and forms the length-4 transforms at once,
// a radix-2 pass when log2 of the size is odd, then radix-4 passes. The passes are templates
// over the number W of complex points per register, instantiated inside functions compiled for
// each instruction set. Vectors travel between the inlined helpers by reference: Clang rejects
// wide vectors passed by value to a function compiled without the wide registers. The file is
// built with -ffp-contract=off, and every point goes through the same operations whatever W is,
// so every path gives the same bits.

namespace sonari {
namespace {

using vec::Load;
using vec::Store;

constexpr const char* kSource = "SND/Fft";

void CheckSize(int n) { Assert(n >= 4 && n <= kFftMaxSize && (n & (n - 1)) == 0, kSource); }

int Log2(int n) {
    int bits = 0;
    while ((1 << bits) < n)
        ++bits;
    return bits;
}

// ---- tables

// Stage tables: for each quarter length q = 4, 8, ... up to kTableQuarters, at w[StageTable(q)],
// six arrays of 2q floats for the factors w^r = e^{2 pi i rk/4q}, r = 1, 2, 3, k < q:
//   cos(w^r) twice per point, then (-sin(w^r), sin(w^r)) per point,
// so that x w^r = x cos + SwapReIm(x) sin in the registers. 12 (q - 4) floats lie before q.
constexpr int kStageTables = kFftWorkSize / 2;
constexpr int kTableQuarters = 1024;
static_assert(kStageTables + 12 * (2 * kTableQuarters - 4) <= kFftWorkSize);
static_assert(kFftMaxSize / 2 <= kStageTables);

int StageTable(int quarter) { return kStageTables + 12 * (quarter - 4); }

// e^{2 pi i j/Nt} for j < 3 Nt/4 from the quarter turn, exactly: i^s e^{2 pi i (j - s Nt/4)/Nt}.
void Turn(int j, int nt, const float* quarter, float& c, float& s) {
    const int turns = j / (nt / 4), r = j % (nt / 4);
    const float x = quarter[2 * r], y = quarter[2 * r + 1];
    switch (turns) {
    case 0:
        c = x, s = y;
        break;
    case 1:
        c = -y, s = x;
        break;
    default:
        c = -x, s = -y;
        break;
    }
}

// Factors k0 .. k0+count-1 of a radix-4 pass of quarter q, in the stage-table form with arrays
// of `length` floats.
void MakeStageTwiddles(int quarter, int k0, int count, float* out, int length, int nt,
                       const float* w) {
    const int stride = nt / (4 * quarter);
    for (int r = 1; r <= 3; ++r) {
        float* cosines = out + (2 * r - 2) * length;
        float* sines = cosines + length;
        for (int k = 0; k < count; ++k) {
            float c, s;
            Turn(r * (k0 + k) * stride, nt, w, c, s);
            cosines[2 * k] = cosines[2 * k + 1] = c;
            sines[2 * k] = -s;
            sines[2 * k + 1] = s;
        }
    }
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
    for (int q = 4; q <= std::min(nt / 4, kTableQuarters); q *= 2)
        MakeStageTwiddles(q, 0, q, w + StageTable(q), 2 * q, nt, w);
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

// ---- registers

// W complex points (re, im, re, im, ...) in one register, and W floats.
template <int W>
struct TLanes {
    typedef float V __attribute__((vector_size(8 * W)));
    typedef float Half __attribute__((vector_size(4 * W)));
};

// (a, b, a, b, ...)
template <class V>
[[gnu::always_inline]] inline void Alternate(V& v, float a, float b) {
    v = V{}; // lanes set one by one: an optimizer that loses track would see them unset
    for (size_t j = 0; j < sizeof v / sizeof(float); ++j)
        v[j] = j % 2 ? b : a;
}

template <class V, size_t... I>
[[gnu::always_inline]] inline void SwapReIm(const V& x, V& out, std::index_sequence<I...>) {
    out = __builtin_shufflevector(x, x, (I ^ 1)...);
}

template <int W>
[[gnu::always_inline]] inline void SwapReIm(const typename TLanes<W>::V& x,
                                            typename TLanes<W>::V& out) {
    SwapReIm(x, out, std::make_index_sequence<2 * W>());
}

// Points in reverse order.
template <int W, size_t... I>
[[gnu::always_inline]] inline void ReversePoints(typename TLanes<W>::V& x,
                                                 std::index_sequence<I...>) {
    x = __builtin_shufflevector(x, x, (2 * (W - 1 - I / 2) + I % 2)...);
}

// (h0, h0, h1, h1, ...), or (h_{W-1}, h_{W-1}, ..., h0, h0) reversed.
template <int W, bool Reversed, size_t... I>
[[gnu::always_inline]] inline void Duplicate(const typename TLanes<W>::Half& h,
                                             typename TLanes<W>::V& out,
                                             std::index_sequence<I...>) {
    out = __builtin_shufflevector(h, h, (Reversed ? W - 1 - I / 2 : I / 2)...);
}

// x := x w, or x conj(w) for Sign -1, with w given as cos = (c, c, ...), sin = (-s, s, ...).
template <int W, int Sign>
[[gnu::always_inline]] inline void Rotate(typename TLanes<W>::V& x,
                                          const typename TLanes<W>::V& cos,
                                          const typename TLanes<W>::V& sin) {
    typename TLanes<W>::V swapped;
    SwapReIm<W>(x, swapped);
    if constexpr (Sign > 0)
        x = x * cos + swapped * sin;
    else
        x = x * cos - swapped * sin;
}

// Length-4 transforms with kernel e^{Sign 2 pi i/4}, one per point of the registers:
// t0..t3 in natural order become X0..X3.
//   X0 = (t0 + t2) + (t1 + t3),  X2 = (t0 + t2) - (t1 + t3),
//   X1 = (t0 - t2) + Sign i (t1 - t3),  X3 = (t0 - t2) - Sign i (t1 - t3).
template <int W, int Sign>
[[gnu::always_inline]] inline void Dft4(typename TLanes<W>::V& t0, typename TLanes<W>::V& t1,
                                        typename TLanes<W>::V& t2, typename TLanes<W>::V& t3) {
    using V = typename TLanes<W>::V;
    V turn; // Sign i z = SwapReIm(z) (-Sign, Sign)
    Alternate(turn, -1.0f * Sign, 1.0f * Sign);
    const V s02 = t0 + t2, d02 = t0 - t2, s13 = t1 + t3;
    V r13;
    SwapReIm<W>(t1 - t3, r13);
    r13 *= turn;
    t0 = s02 + s13;
    t2 = s02 - s13;
    t1 = d02 + r13;
    t3 = d02 - r13;
}

// ---- passes

// Bit reversal and the length-4 transforms in one pass. With index j = (a, b, c), a and c of
// two bits each, the point j goes to rev(j) = (rev c, rev b, rev a); the 4 x 4 block of points
// with middle bits b (rows a, N/4 apart, columns c side by side) therefore fills the block at
// rev b, transposed. The transforms run down the columns before the transposition: the four
// points of a column are the inputs of one length-4 transform, which then lies in a row.
template <int W>
struct TBlock {
    static constexpr int kPerRow = 4 / W;
    typename TLanes<W>::V row[4][kPerRow];
};

template <int W>
[[gnu::always_inline]] inline void LoadBlock(TBlock<W>& block, const float* p, int rowFloats) {
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r)
#pragma GCC unroll 2
        for (int h = 0; h < TBlock<W>::kPerRow; ++h)
            Load(block.row[r][h], p + r * rowFloats + 2 * W * h);
}

// Transforms down the columns, then stores column c as row rev(c).
template <int W, int Sign>
[[gnu::always_inline]] inline void TransformAndStoreBlock(TBlock<W>& x, float* p, int rowFloats) {
    using V = typename TLanes<W>::V;
#pragma GCC unroll 2
    for (int h = 0; h < TBlock<W>::kPerRow; ++h)
        Dft4<W, Sign>(x.row[0][h], x.row[1][h], x.row[2][h], x.row[3][h]);
    float* rows[4] = {p, p + 2 * rowFloats, p + rowFloats, p + 3 * rowFloats}; // rev c
    if constexpr (W == 4) {
        const V &x0 = x.row[0][0], &x1 = x.row[1][0], &x2 = x.row[2][0], &x3 = x.row[3][0];
        const V u0 = __builtin_shufflevector(x0, x1, 0, 1, 8, 9, 4, 5, 12, 13);
        const V u1 = __builtin_shufflevector(x0, x1, 2, 3, 10, 11, 6, 7, 14, 15);
        const V u2 = __builtin_shufflevector(x2, x3, 0, 1, 8, 9, 4, 5, 12, 13);
        const V u3 = __builtin_shufflevector(x2, x3, 2, 3, 10, 11, 6, 7, 14, 15);
        Store(rows[0], __builtin_shufflevector(u0, u2, 0, 1, 2, 3, 8, 9, 10, 11));
        Store(rows[1], __builtin_shufflevector(u1, u3, 0, 1, 2, 3, 8, 9, 10, 11));
        Store(rows[2], __builtin_shufflevector(u0, u2, 4, 5, 6, 7, 12, 13, 14, 15));
        Store(rows[3], __builtin_shufflevector(u1, u3, 4, 5, 6, 7, 12, 13, 14, 15));
    } else {
        static_assert(W == 2);
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h) {
            const V &x0 = x.row[0][h], &x1 = x.row[1][h], &x2 = x.row[2][h], &x3 = x.row[3][h];
            Store(rows[2 * h], __builtin_shufflevector(x0, x1, 0, 1, 4, 5));
            Store(rows[2 * h] + 4, __builtin_shufflevector(x2, x3, 0, 1, 4, 5));
            Store(rows[2 * h + 1], __builtin_shufflevector(x0, x1, 2, 3, 6, 7));
            Store(rows[2 * h + 1] + 4, __builtin_shufflevector(x2, x3, 2, 3, 6, 7));
        }
    }
}

template <int W, int Sign>
[[gnu::always_inline]] inline void BitReverseRadix4Pass(int points, float* a, const int32_t* ip) {
    const int rowFloats = 2 * (points / 4);
    const int middles = points / 16;
    const int shift = Log2(2 * ip[0]) - Log2(middles);
    for (int b = 0; b < middles; ++b) {
        const int rb = ip[2 + b] >> shift;
        if (rb < b)
            continue; // done with its partner
        TBlock<W> x;
        LoadBlock(x, a + 8 * b, rowFloats);
        if (rb == b) {
            TransformAndStoreBlock<W, Sign>(x, a + 8 * b, rowFloats);
        } else {
            TBlock<W> y;
            LoadBlock(y, a + 8 * rb, rowFloats);
            TransformAndStoreBlock<W, Sign>(x, a + 8 * rb, rowFloats);
            TransformAndStoreBlock<W, Sign>(y, a + 8 * b, rowFloats);
        }
    }
}

// Length-4 transforms into length 8: X[k] = E[k] + w^k O[k], X[k+4] = E[k] - w^k O[k],
// w = e^{Sign 2 pi i/8}.
template <int W, int Sign>
[[gnu::always_inline]] inline void Radix2Pass(int points, float* a) {
    using V = typename TLanes<W>::V;
    const float h = static_cast<float>(std::numbers::sqrt2_v<long double> / 2);
    // w^k, k = 0..3, in the stage-table form
    const float cosines[8] = {1, 1, h, h, 0, 0, -h, -h};
    const float sines[8] = {-0.0f, 0, -h, h, -1, 1, -h, h};
    V cos[4 / W], sin[4 / W];
#pragma GCC unroll 2
    for (int j = 0; j < 4 / W; ++j) {
        Load(cos[j], cosines + 2 * W * j);
        Load(sin[j], sines + 2 * W * j);
    }
    for (float* p = a; p < a + 2 * points; p += 16) {
#pragma GCC unroll 2
        for (int j = 0; j < 4 / W; ++j) {
            V even, odd;
            Load(even, p + 2 * W * j);
            Load(odd, p + 8 + 2 * W * j);
            Rotate<W, Sign>(odd, cos[j], sin[j]);
            Store(p + 2 * W * j, even + odd);
            Store(p + 8 + 2 * W * j, even - odd);
        }
    }
}

// Points per chunk of twiddles made on the fly, for passes beyond the stage tables.
constexpr int kChunk = 64;

// Four transforms of length q into one of length 4q. In bit-reversed order the blocks hold
// residues 0, 2, 1, 3: t0 = F0[k], t1 = w^k F1[k], t2 = w^{2k} F2[k], t3 = w^{3k} F3[k].
template <int W, int Sign>
[[gnu::always_inline]] inline void Radix4Pass(int points, int q, float* a, const int32_t* ip,
                                              const float* w) {
    using V = typename TLanes<W>::V;
    float made[12 * kChunk];
    const int chunk = q <= kTableQuarters ? q : kChunk;
    for (int k0 = 0; k0 < q; k0 += chunk) {
        // the six arrays of the stage-table form, `length` floats apart
        const float* twiddles;
        int length;
        if (q <= kTableQuarters) {
            twiddles = w + StageTable(q);
            length = 2 * q;
        } else {
            MakeStageTwiddles(q, k0, chunk, made, 2 * kChunk, 2 * ip[0], w);
            twiddles = made;
            length = 2 * kChunk;
        }
        for (float* block = a + 2 * k0; block < a + 2 * points; block += 8 * q) {
            for (int k = 0; k < chunk; k += W) {
                const float* tw = twiddles + 2 * k;
                V c1, s1, c2, s2, c3, s3;
                Load(c1, tw);
                Load(s1, tw + length);
                Load(c2, tw + 2 * length);
                Load(s2, tw + 3 * length);
                Load(c3, tw + 4 * length);
                Load(s3, tw + 5 * length);
                float* p = block + 2 * k;
                V t0, t1, t2, t3;
                Load(t0, p);
                Load(t2, p + 2 * q);
                Load(t1, p + 4 * q);
                Load(t3, p + 6 * q);
                Rotate<W, Sign>(t1, c1, s1);
                Rotate<W, Sign>(t2, c2, s2);
                Rotate<W, Sign>(t3, c3, s3);
                Dft4<W, Sign>(t0, t1, t2, t3);
                Store(p, t0);
                Store(p + 2 * q, t1);
                Store(p + 4 * q, t2);
                Store(p + 6 * q, t3);
            }
        }
    }
}

// 2, 4 or 8 points directly: X[k] = sum x[j] e^{Sign 2 pi i jk/N}.
template <int Sign>
void SmallTransform(int points, float* a) {
    const float h = static_cast<float>(std::numbers::sqrt2_v<long double> / 2);
    const float eighths[8][2] = {{1, 0},  {h, h},   {0, 1},  {-h, h},
                                 {-1, 0}, {-h, -h}, {0, -1}, {h, -h}};
    float out[16];
    for (int k = 0; k < points; ++k) {
        float re = 0, im = 0;
        for (int j = 0; j < points; ++j) {
            const float* e = eighths[(j * k % points) * (8 / points)];
            const float s = Sign * e[1];
            re += a[2 * j] * e[0] - a[2 * j + 1] * s;
            im += a[2 * j] * s + a[2 * j + 1] * e[0];
        }
        out[2 * k] = re;
        out[2 * k + 1] = im;
    }
    std::copy_n(out, 2 * points, a);
}

// Transform of n/2 complex points in place.
template <int W, int Sign>
[[gnu::always_inline]] inline void ComplexTransform(int n, float* a, const int32_t* ip,
                                                    const float* w) {
    const int points = n / 2;
    if (points < 16) {
        SmallTransform<Sign>(points, a);
        return;
    }
    BitReverseRadix4Pass<W, Sign>(points, a, ip);
    int length = 4;
    if (Log2(points) % 2 == 1) {
        Radix2Pass<W, Sign>(points, a);
        length = 8;
    }
    for (; length < points; length *= 4)
        Radix4Pass<W, Sign>(points, length, a, ip, w);
}

// p[0], p[stride], ..., p[(W-1) stride], built in the registers: stored one by one and loaded
// as a vector they would stall on the store forwarding.
template <int W, size_t... I>
[[gnu::always_inline]] inline void Gather(const float* p, int stride, typename TLanes<W>::Half& out,
                                          std::index_sequence<I...>) {
    out = typename TLanes<W>::Half{p[static_cast<int>(I) * stride]...};
}

// The factors G of the real pass for the points k .. k+W-1 in the stage-table form:
// G = (1/2 - c[nc - m]) + Sign i c[m], m = k stride.
template <int W, int Sign>
[[gnu::always_inline]] inline void RealFactors(int k, int stride, int nc, const float* c,
                                               typename TLanes<W>::V& cos,
                                               typename TLanes<W>::V& sin) {
    using L = TLanes<W>;
    typename L::Half sines, cosines;
    if (stride == 1) {
        Load(sines, c + k);
        Load(cosines, c + nc - k - (W - 1)); // reversed
        Duplicate<W, true>(cosines, cos, std::make_index_sequence<2 * W>());
    } else {
        Gather<W>(c + k * stride, stride, sines, std::make_index_sequence<W>());
        Gather<W>(c + nc - k * stride, -stride, cosines, std::make_index_sequence<W>());
        Duplicate<W, false>(cosines, cos, std::make_index_sequence<2 * W>());
    }
    typename L::V half, sign;
    Alternate(half, 0.5f, 0.5f);
    Alternate(sign, -1.0f * Sign, 1.0f * Sign);
    cos = half - cos;
    Duplicate<W, false>(sines, sin, std::make_index_sequence<2 * W>());
    sin *= sign;
}

// Splits the transform Z of the packed pairs z[m] = a[2m] + i a[2m+1] into the transform of the
// real sequence, or (Sign -1) joins it back, for the pairs of points k and N-k:
//   Y = G (Z[k] - conj Z[N-k]),  Z[k] -= Y,  Z[N-k] += conj Y,
//   G = (1/2 - sin(theta)/2) + Sign i cos(theta)/2,  theta = 2 pi k/n.
// Point N/2 stays as it is.
template <int W, int Sign>
[[gnu::always_inline]] inline void RealPass(int n, float* a, const int32_t* ip, const float* w) {
    using V = typename TLanes<W>::V;
    const int nc = ip[1];
    const float* c = w + ip[0];
    const int stride = 4 * nc / n;
    const int half = n / 4; // N/2
    V conjugate;
    Alternate(conjugate, 1.0f, -1.0f);
    int k = 1;
    for (; k + W - 1 < half; k += W) {
        V cos, sin, lo, hi;
        RealFactors<W, Sign>(k, stride, nc, c, cos, sin);
        Load(lo, a + 2 * k);
        Load(hi, a + n - 2 * (k + W - 1)); // points N-k-W+1 .. N-k
        ReversePoints<W>(hi, std::make_index_sequence<2 * W>());
        V y = lo - hi * conjugate;
        Rotate<W, +1>(y, cos, sin);
        lo -= y;
        hi += y * conjugate;
        ReversePoints<W>(hi, std::make_index_sequence<2 * W>());
        Store(a + 2 * k, lo);
        Store(a + n - 2 * (k + W - 1), hi);
    }
    // The same operations, one point at a time.
    for (; k < half; ++k) {
        const int m = k * stride;
        const float gr = 0.5f - c[nc - m], gi = Sign * c[m];
        float* lo = a + 2 * k;
        float* hi = a + n - 2 * k;
        const float dr = lo[0] - hi[0], di = lo[1] + hi[1];
        const float yr = dr * gr + di * -gi, yi = di * gr + dr * gi;
        lo[0] -= yr;
        lo[1] -= yi;
        hi[0] += yr;
        hi[1] += -yi;
    }
}

template <int W>
[[gnu::always_inline]] inline void RealTransform(int n, int isgn, float* a, const int32_t* ip,
                                                 const float* w) {
    if (isgn >= 0) {
        ComplexTransform<W, +1>(n, a, ip, w);
        RealPass<W, +1>(n, a, ip, w);
        const float sum = a[0] + a[1];
        a[1] = a[0] - a[1];
        a[0] = sum;
    } else {
        a[1] = 0.5f * (a[0] - a[1]);
        a[0] -= a[1];
        RealPass<W, -1>(n, a, ip, w);
        ComplexTransform<W, -1>(n, a, ip, w);
    }
}

template <int W>
[[gnu::always_inline]] inline void ComplexTransformEitherWay(int n, int isgn, float* a,
                                                             const int32_t* ip, const float* w) {
    if (isgn >= 0)
        ComplexTransform<W, +1>(n, a, ip, w);
    else
        ComplexTransform<W, -1>(n, a, ip, w);
}

void RdftSse2(int n, int isgn, float* a, const int32_t* ip, const float* w) {
    RealTransform<2>(n, isgn, a, ip, w);
}
[[gnu::target("avx2")]] void RdftAvx2(int n, int isgn, float* a, const int32_t* ip,
                                      const float* w) {
    RealTransform<4>(n, isgn, a, ip, w);
}
void CdftSse2(int n, int isgn, float* a, const int32_t* ip, const float* w) {
    ComplexTransformEitherWay<2>(n, isgn, a, ip, w);
}
[[gnu::target("avx2")]] void CdftAvx2(int n, int isgn, float* a, const int32_t* ip,
                                      const float* w) {
    ComplexTransformEitherWay<4>(n, isgn, a, ip, w);
}

} // namespace

void rdft(int n, int isgn, float* a, int32_t* ip, float* w) {
    CheckSize(n);
    EnsureTwiddles(n, ip, w);
    EnsureCosines(n, ip, w);
    if (ActiveSimdPath() == TSimdPath::Sse2)
        RdftSse2(n, isgn, a, ip, w);
    else
        RdftAvx2(n, isgn, a, ip, w);
}

void cdft(int n, int isgn, float* a, int32_t* ip, float* w) {
    CheckSize(n);
    EnsureTwiddles(n, ip, w);
    if (ActiveSimdPath() == TSimdPath::Sse2)
        CdftSse2(n, isgn, a, ip, w);
    else
        CdftAvx2(n, isgn, a, ip, w);
}

} // namespace sonari
