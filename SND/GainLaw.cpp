#include "SND/GainLaw.h"

#include "SND/FloatRounding.h"
#include "SND/VectorMemory.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <numbers>

namespace sonari {

namespace {

using vec::Cast;
using vec::Load;
using vec::Store;
using vec::TLanes;

constexpr long double kClip = TGainLaw::kClipLevel;

// How far (in double ulps) each double computation may stray from the exact value, with room to
// spare; the extended one strays about 2^-11 as far. The gate's square is exact and its factor
// and product are rounded once each; the power is good to 2^-47 (2^6 ulps) in the bounds
// below, seen over ratios 1/3 .. 15 and levels 2^-60 .. 2^60.
constexpr int64_t kGateMargin = 8;
constexpr int64_t kPowerMargin = int64_t{1} << 12;
// The smoother: two products, a sum and the constants' own rounding.
constexpr int64_t kSmootherMargin = 8;

// Parameters the power's error bound holds for.
constexpr double kSmallestClip = 0x1p-16, kLargestLevel = 0x1p64, kLargestExponent = 2.0;

// c[0] + c[1] x + ... by Estrin's scheme: pairs, then pairs of pairs with x^2, and so on, so the
// chain of dependent operations grows with the logarithm of the degree.
template <class D, size_t N>
[[gnu::always_inline]] inline void Polynomial(const std::array<double, N>& c, const D& x, D& sum) {
    D level[N];
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i)
        level[i] = c[i] + D{};
    D power = x;
#pragma GCC unroll 4
    for (size_t n = N; n > 1; n = (n + 1) / 2) {
#pragma GCC unroll 8
        for (size_t i = 0; 2 * i < n; ++i)
            level[i] = 2 * i + 1 < n ? level[2 * i] + level[2 * i + 1] * power : level[2 * i];
        power = power * power;
    }
    sum = level[0];
}

// log2(m) = t P(t^2), t = (m - 1) / (m + 1): the series of 2 atanh(t) / ln 2, 11 terms, for
// |t| <= 0.172 (m within sqrt(1/2) .. sqrt(2)); the first term left out is below 2^-60.
constexpr int kLogTerms = 11;
std::array<double, kLogTerms> LogSeries() {
    std::array<double, kLogTerms> c{};
    for (int n = 0; n < kLogTerms; ++n)
        c[n] = static_cast<double>(2.0L / ((2 * n + 1) * std::numbers::ln2_v<long double>));
    return c;
}

// 2^r = sum (r ln 2)^n / n! for |r| <= 1/2, 14 terms; the first one left out is below 2^-57.
constexpr int kExpTerms = 14;
std::array<double, kExpTerms> ExpSeries() {
    std::array<double, kExpTerms> c{};
    long double term = 1.0L;
    for (int n = 0; n < kExpTerms; ++n) {
        c[n] = static_cast<double>(term);
        term *= std::numbers::ln2_v<long double> / (n + 1);
    }
    return c;
}

const std::array<double, kLogTerms> kLogSeries = LogSeries();
const std::array<double, kExpTerms> kExpSeries = ExpSeries();

// Vectors travel between the inlined helpers by reference: wide vectors passed by value to a
// function compiled without the wide registers would change the calling convention.

// log2(x) for positive normal x: k + log2(m), x = 2^k m, m in sqrt(1/2) .. sqrt(2). About 2^-52
// of |log2 x| plus 2^-52 absolute.
template <class D, class I>
[[gnu::always_inline]] inline void Log2(const D& x, D& log2) {
    I bits;
    Cast(bits, x);
    D m;
    Cast(m, (bits & 0x000FFFFFFFFFFFFF) | 0x3FF0000000000000);
    const I upper = m > std::numbers::sqrt2;
    m = upper ? m * 0.5 : m;
    // the biased exponent as a double: its bits below those of 2^52, less 2^52
    D exponent;
    Cast(exponent, (bits >> 52) | 0x4330000000000000);
    const D k = exponent - 0x1p52 - (upper ? D{} + 1022.0 : D{} + 1023.0);
    const D t = (m - 1.0) / (m + 1.0);
    D p;
    Polynomial(kLogSeries, t * t, p);
    log2 = k + t * p;
}

// 2^y for |y| <= 1000: 2^n 2^r, n the nearest integer. About 2^-52 relative plus y's error.
template <class D, class I>
[[gnu::always_inline]] inline void Exp2(const D& y, D& power) {
    const D limit = D{} + 1000.0;
    D z = y < -limit ? -limit : y;
    z = z > limit ? limit : z;
    // adding 1.5 2^52 rounds to an integer n, which then sits in the low bits
    const D shifted = z + 0x1.8p52;
    const D r = z - (shifted - 0x1.8p52);
    D q;
    Polynomial(kExpSeries, r, q);
    I bits;
    Cast(bits, shifted);
    D scale;
    Cast(scale, (bits + 1023) << 52);
    power = q * scale;
}

// Blocks go in chunks: vectors first, and in the rare chunk where a lane was in doubt, every
// sample of it again by the definition.
constexpr size_t kChunk = 64;

// W samples per step.
template <int W>
[[gnu::always_inline]] inline void GainStage(const TGainLaw& law, const TGainLaw::TFast& fast,
                                             const float* envelope, const float* sampleEnvelope,
                                             float* gains, size_t count) {
    using L = TLanes<W>;
    using D = typename L::D;
    using I = typename L::I64;
    using F = typename L::F;
    using J = typename L::J;
    const double gate = law.GateThreshold();
    size_t i = 0;
    while (i + W <= count) {
        const size_t length = std::min(kChunk, (count - i) / W * W);
        J doubt{};
        for (size_t j = i; j < i + length; j += W) {
            F ef, sf;
            Load(ef, envelope + j);
            Load(sf, sampleEnvelope + j);
            const D e = __builtin_convertvector(ef, D);
            const I below = e < gate;
            D g = e * e * fast.GateFactor;
            if (fast.Constant) {
                g = below ? g : D{} + static_cast<double>(fast.ConstantGain);
            } else {
                D log2, power;
                Log2<D, I>(e * fast.InverseClip, log2);
                Exp2<D, I>(fast.Exponent * log2, power);
                g = below ? g : fast.Scale * power;
            }
            J bits, margin, doubtful;
            Cast(bits, g);
            Cast(margin, below ? I{} + kGateMargin : I{} + kPowerMargin);
            Doubtful(bits, margin, doubtful);
            doubt |= doubtful;
            const F compressed = __builtin_convertvector(g, F);
            const F clipped = TGainLaw::kClipLevel / sf;
            Store(gains + j, clipped < compressed ? clipped : compressed);
        }
        if (AnyLane(doubt)) {
            for (size_t j = i; j < i + length; ++j)
                gains[j] = law.Gain(envelope[j], sampleEnvelope[j]);
        }
        i += length;
    }
    for (; i < count; ++i)
        gains[i] = law.Gain(envelope[i], sampleEnvelope[i]);
}

void GainsSse2(const TGainLaw& law, const TGainLaw::TFast& fast, const float* envelope,
               const float* sampleEnvelope, float* gains, size_t count) {
    GainStage<2>(law, fast, envelope, sampleEnvelope, gains, count);
}

[[gnu::target("avx2")]] void GainsAvx2(const TGainLaw& law, const TGainLaw::TFast& fast,
                                       const float* envelope, const float* sampleEnvelope,
                                       float* gains, size_t count) {
    GainStage<4>(law, fast, envelope, sampleEnvelope, gains, count);
}

float Smoothed(float envelope, float sampleEnvelope) {
    const long double next = 0.995L * envelope + 0.005L * sampleEnvelope;
    return std::max(static_cast<float>(next), kEnvelopeFloor);
}

} // namespace

void TGainLaw::Set(float clipThreshold, float gateThreshold, float compression) {
    clip_ = clipThreshold;
    gate_ = gateThreshold;
    inverseRatio_ = 1.0L / compression;
    gateOutput_ = std::pow(static_cast<long double>(gate_) / clip_, inverseRatio_) * kClip;
    Prepare();
}

void TGainLaw::Prepare() {
    fast_ = TFast{};
    const long double gateFactor = gateOutput_ / (static_cast<long double>(gate_) * gate_ * gate_);
    const long double exponent = inverseRatio_ - 1;
    const bool gateUsable = !(gate_ > 0) || (std::isnormal(static_cast<double>(gateFactor)) &&
                                             gateFactor > 0 && gate_ <= kLargestLevel);
    const bool compressorUsable =
        clip_ >= kSmallestClip && clip_ <= kLargestLevel && std::fabs(exponent) <= kLargestExponent;
    if (!gateUsable || !compressorUsable)
        return;
    fast_.Usable = true;
    fast_.GateFactor = gate_ > 0 ? static_cast<double>(gateFactor) : 0.0;
    fast_.Scale = static_cast<double>(kClip / clip_);
    fast_.InverseClip = static_cast<double>(1.0L / clip_);
    fast_.Exponent = static_cast<double>(exponent);
    // Ratio 1: out / e is K / ClipThreshold whatever e, one rounding off either way.
    if (inverseRatio_ == 1 && RoundsSafely(fast_.Scale, kGateMargin)) {
        fast_.Constant = true;
        fast_.ConstantGain = static_cast<float>(fast_.Scale);
    }
}

float TGainLaw::Gain(float envelope, float sampleEnvelope) const {
    long double out;
    if (envelope < gate_) {
        const long double r = static_cast<long double>(envelope) / gate_;
        out = r * r * r * gateOutput_;
    } else {
        const long double level = static_cast<long double>(envelope) / clip_;
        out = (inverseRatio_ == 1 ? level : std::pow(level, inverseRatio_)) * kClip;
    }
    long double g = out / envelope;
    if (!(g >= 0))
        g = 0;
    g = static_cast<float>(std::min<long double>(g, FLT_MAX));
    return static_cast<float>(std::min(kClip / (1e-99L + sampleEnvelope), g));
}

void TGainLaw::Gains(TSimdPath path, const float* envelope, const float* sampleEnvelope,
                     float* gains, size_t count) const {
    if (!fast_.Usable) {
        for (size_t i = 0; i < count; ++i)
            gains[i] = Gain(envelope[i], sampleEnvelope[i]);
        return;
    }
    if (path == TSimdPath::Avx2)
        GainsAvx2(*this, fast_, envelope, sampleEnvelope, gains, count);
    else
        GainsSse2(*this, fast_, envelope, sampleEnvelope, gains, count);
}

float SmoothEnvelope(float envelope, const float* sampleEnvelope, float* smoothed, size_t count) {
    const auto a = static_cast<double>(0.995L), b = static_cast<double>(0.005L);
    for (size_t i = 0; i < count; ++i) {
        const double next = a * envelope + b * sampleEnvelope[i];
        envelope = RoundsSafely(next, kSmootherMargin)
                       ? std::max(static_cast<float>(next), kEnvelopeFloor)
                       : Smoothed(envelope, sampleEnvelope[i]);
        smoothed[i] = envelope;
    }
    return envelope;
}

} // namespace sonari
