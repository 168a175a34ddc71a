#include "SND/OvershootControl.h"

#include "SND/Exceptions.h"
#include "SND/SimdPath.h"
#include "SND/VectorMemory.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <immintrin.h>
#include <numbers>

namespace sonari {

namespace {

using vec::Load;
using vec::Store;
using vec::TLanes;

constexpr const char* kSource = "SND/OvershootControl";
// Samples the buffers hold beyond what a step needs, so they shift once per that many samples;
// also the longest piece Process takes in at once.
constexpr int32_t kSlack = 1024;
// Samples whose power one look ahead compares with the ceiling, per pass.
constexpr int32_t kWindow = 16;
// A centre tap below this passes nothing worth correcting with.
constexpr float kSmallestCentre = 1e-6f;
// Corrections aim this much below the ceiling (about 1e-4 dB).
constexpr float kTargetRatio = 1.0f - 1.0f / 65536;
// Stop-band attenuation of the pulse's window and its Kaiser parameter 0.1102 (A - 8.7).
constexpr long double kPulseAttenuationDb = 150.0L;
constexpr long double kPulseBeta = 0.1102L * (kPulseAttenuationDb - 8.7L);

float* Floats(TComplexArray& a) { return reinterpret_cast<float*>(a.data()); }
const float* Floats(const TComplexArray& a) { return reinterpret_cast<const float*>(a.data()); }

// Lanes of one stream where |input + correction|^2 exceeds `ceilingPower`.
template <int W, size_t... J>
[[gnu::always_inline]] inline void Above(const float* input, const float* correction,
                                         float ceilingPower, typename TLanes<W>::I32& above,
                                         std::index_sequence<J...>) {
    using L = TLanes<W>;
    typename L::F2 in, corr;
    Load(in, input);
    Load(corr, correction);
    const typename L::F2 z = in + corr;
    const typename L::F re = __builtin_shufflevector(z, z, (2 * J)...);
    const typename L::F im = __builtin_shufflevector(z, z, (2 * J + 1)...);
    above = re * re + im * im > ceilingPower;
}

// Lanes of W samples of either stream (1 or 2) whose |input + correction|^2 exceeds
// `ceilingPower`; the same float operations as one sample at a time.
template <int W>
[[gnu::always_inline]] inline void AboveEither(const float* input1, const float* correction1,
                                               const float* input2, const float* correction2,
                                               float ceilingPower, typename TLanes<W>::I32& above) {
    typename TLanes<W>::I32 above1, above2;
    Above<W>(input1, correction1, ceilingPower, above1, std::make_index_sequence<W>());
    Above<W>(input2, correction2, ceilingPower, above2, std::make_index_sequence<W>());
    above = above1 | above2;
}

// (a[0], b[0], a[1], b[1], ...) for `count` pairs.
void Interleave(const float* a, const float* b, int32_t count, float* ab) {
    using F = TLanes<4>::F;
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        F x, y;
        Load(x, a + i);
        Load(y, b + i);
        Store(ab + 2 * i, __builtin_shufflevector(x, y, 0, 4, 1, 5));
        Store(ab + 2 * i + 4, __builtin_shufflevector(x, y, 2, 6, 3, 7));
    }
    for (; i < count; ++i) {
        ab[2 * i] = a[i];
        ab[2 * i + 1] = b[i];
    }
}

// sum[i] = x[2i] + y[2i]: the real parts of two complex streams added.
void InPhaseSum(const float* x, const float* y, int32_t count, float* sum) {
    using F = TLanes<4>::F;
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        F x0, x1, y0, y1;
        Load(x0, x + 2 * i);
        Load(x1, x + 2 * i + 4);
        Load(y0, y + 2 * i);
        Load(y1, y + 2 * i + 4);
        const F z0 = x0 + y0, z1 = x1 + y1;
        Store(sum + i, __builtin_shufflevector(z0, z1, 0, 2, 4, 6));
    }
    for (; i < count; ++i)
        sum[i] = x[2 * i] + y[2 * i];
}

// c -= a p + b q over `floats` floats, W at a time (a multiple of 4).
template <int W>
[[gnu::always_inline]] inline void SubtractStage(float* c, const float* p, const float* q, float a,
                                                 float b, size_t floats) {
    using F = typename TLanes<W>::F;
    const F va = F{} + a, vb = F{} + b;
    size_t j = 0;
    for (; j + W <= floats; j += W) {
        F vc, vp, vq;
        Load(vc, c + j);
        Load(vp, p + j);
        Load(vq, q + j);
        Store(c + j, vc - (va * vp + vb * vq));
    }
    for (; j < floats; ++j)
        c[j] -= a * p[j] + b * q[j];
}

// The first i < count at which either stream is above the ceiling, or count. The lanes' sign
// bits are gathered here, where the instruction set's own intrinsic may be inlined.
int32_t FirstOverSse2(const float* input1, const float* correction1, const float* input2,
                      const float* correction2, int32_t count, float ceilingPower) {
    for (int32_t t = 0; t < count; t += 4) {
        TLanes<4>::I32 above;
        AboveEither<4>(input1 + 2 * t, correction1 + 2 * t, input2 + 2 * t, correction2 + 2 * t,
                       ceilingPower, above);
        if (const int lanes = _mm_movemask_ps(reinterpret_cast<const __m128&>(above)))
            return std::min(t + std::countr_zero(static_cast<unsigned>(lanes)), count);
    }
    return count;
}
[[gnu::target("avx2")]] int32_t FirstOverAvx2(const float* input1, const float* correction1,
                                              const float* input2, const float* correction2,
                                              int32_t count, float ceilingPower) {
    for (int32_t t = 0; t < count; t += 8) {
        TLanes<8>::I32 above;
        AboveEither<8>(input1 + 2 * t, correction1 + 2 * t, input2 + 2 * t, correction2 + 2 * t,
                       ceilingPower, above);
        if (const int lanes = _mm256_movemask_ps(reinterpret_cast<const __m256&>(above)))
            return std::min(t + std::countr_zero(static_cast<unsigned>(lanes)), count);
    }
    return count;
}
void SubtractSse2(float* c, const float* p, const float* q, float a, float b, size_t floats) {
    SubtractStage<4>(c, p, q, a, b, floats);
}
[[gnu::target("avx2")]] void SubtractAvx2(float* c, const float* p, const float* q, float a,
                                          float b, size_t floats) {
    SubtractStage<8>(c, p, q, a, b, floats);
}

} // namespace

TOvershootControl::TOvershootControl() {
    SetPulse({{1.0f, 0.0f}});
    SetCeiling(1.0f);
}

void TOvershootControl::SetPulse(const TComplexArray& pulse) {
    Assert(pulse.size() % 2 == 1, kSource);
    const auto halfLength = static_cast<int32_t>(pulse.size() / 2);
    const bool resize = halfLength != halfLength_ || input_.empty();
    halfLength_ = halfLength;
    pulse_.resize(pulse.size() + 1);
    turned_.resize(pulse.size() + 1);
    std::copy(pulse.begin(), pulse.end(), pulse_.begin());
    pulse_.back() = {0.0f, 0.0f};
    for (size_t k = 0; k < pulse_.size(); ++k)
        turned_[k] = {-pulse_[k].Im, pulse_[k].Re};

    const long double re = pulse[halfLength].Re, im = pulse[halfLength].Im;
    const long double norm = re * re + im * im;
    usable_ = std::sqrt(norm) >= kSmallestCentre;
    inverseCentre_ = usable_
                         ? TComplex{static_cast<float>(re / norm), static_cast<float>(-im / norm)}
                         : TComplex{0.0f, 0.0f};
    if (resize) {
        const auto size = static_cast<size_t>(Delay() + halfLength_ + 2 + kSlack + kWindow);
        input_.assign(size, {0.0f, 0.0f});
        correction_.assign(size, {0.0f, 0.0f});
        Reset();
    }
}

void TOvershootControl::SetCeiling(float level) {
    Assert(std::isfinite(level) && level > 0, kSource);
    ceiling_ = level;
    ceilingPower_ = level * level;
    target_ = level * kTargetRatio;
}

void TOvershootControl::Reset() {
    std::fill(input_.begin(), input_.end(), TComplex{0.0f, 0.0f});
    std::fill(correction_.begin(), correction_.end(), TComplex{0.0f, 0.0f});
    head_ = Delay(); // what lies before the stream is silence
    corrections_ = 0;
}

// Per sample, in a fixed order: take it in, first pass kSearch behind it, second pass
// HalfLength + kSearch behind the first, output once no pulse can reach the sample any more. No
// step reads a sample that came after it, so a piece is taken in whole first, and its outputs
// are read once all its steps are done.
void TOvershootControl::Process(const float* inPhase, const float* quadrature, float* out,
                                int32_t count) {
    const int32_t delay = Delay();
    const auto size = static_cast<int32_t>(input_.size());
    for (int32_t done = 0; done < count;) {
        const int32_t piece = std::min(count - done, kSlack);
        if (head_ + piece + halfLength_ + 2 + kWindow > size)
            Shift();
        const int32_t first = head_;
        Interleave(inPhase + done, quadrature + done, piece, Floats(input_) + 2 * first);
        head_ = first + piece;
        if (usable_)
            CheckPiece(first, head_);
        InPhaseSum(Floats(input_) + 2 * (first - delay), Floats(correction_) + 2 * (first - delay),
                   piece, out + done);
        done += piece;
    }
}

// The steps of the samples that came at first .. end - 1.
void TOvershootControl::CheckPiece(int32_t first, int32_t end) {
    const int32_t s = kSearch, l = halfLength_;
    for (int32_t t = NextOver(first, end); t < end; t = NextOver(t + 1, end)) {
        if (Power(t - s) > ceilingPower_)
            Check(t - s, t);
        if (Power(t - 2 * s - l) > ceilingPower_)
            Check(t - 2 * s - l, t - s - l);
    }
}

// The first step from t on (before end) at which either pass finds its sample above the ceiling.
// Steps without a correction change nothing, so the samples can be looked at ahead of them.
int32_t TOvershootControl::NextOver(int32_t t, int32_t end) const {
    const int32_t first = t - kSearch, second = t - 2 * kSearch - halfLength_;
    const auto over = ActiveSimdPath() == TSimdPath::Avx2 ? FirstOverAvx2 : FirstOverSse2;
    const float* input = Floats(input_);
    const float* correction = Floats(correction_);
    return t + over(input + 2 * first, correction + 2 * first, input + 2 * second,
                    correction + 2 * second, end - t, ceilingPower_);
}

float TOvershootControl::Power(int32_t at) const {
    const float re = input_[at].Re + correction_[at].Re;
    const float im = input_[at].Im + correction_[at].Im;
    return re * re + im * im;
}

// While the sample lies above the ceiling, cancel the peak of the rise it belongs to (searched
// up to searchEnd), then look at the sample again: the pulse lowers its neighbours too.
void TOvershootControl::Check(int32_t at, int32_t searchEnd) {
    for (int n = 0; n < kMaxCorrections; ++n) {
        float power = Power(at);
        if (!(power > ceilingPower_))
            return;
        int32_t peak = at;
        while (peak < searchEnd) {
            const float next = Power(peak + 1);
            if (!(next > power))
                break;
            power = next;
            ++peak;
        }
        Cancel(peak, power);
    }
}

// Subtracts alpha * pulse centred on `at`, alpha = z (1 - target / |z|) / pulse[L], which
// leaves |z| = target there.
void TOvershootControl::Cancel(int32_t at, float power) {
    const double shrink = 1.0 - target_ / std::sqrt(static_cast<double>(power));
    const double re = (input_[at].Re + correction_[at].Re) * shrink;
    const double im = (input_[at].Im + correction_[at].Im) * shrink;
    const auto ar = static_cast<float>(re * inverseCentre_.Re - im * inverseCentre_.Im);
    const auto ai = static_cast<float>(re * inverseCentre_.Im + im * inverseCentre_.Re);
    // c -= (ar + j ai) p = ar p + ai (j p)
    const auto subtract = ActiveSimdPath() == TSimdPath::Avx2 ? SubtractAvx2 : SubtractSse2;
    subtract(Floats(correction_) + 2 * (at - halfLength_), Floats(pulse_), Floats(turned_), ar, ai,
             2 * pulse_.size());
    ++corrections_;
}

// Moves the live part (from the next sample to leave onwards; for the corrections up to where
// the pulses reach) to the front. Input beyond the head is written before it is read.
void TOvershootControl::Shift() {
    const int32_t from = head_ - Delay();
    const int32_t live = Delay() + halfLength_ + 2;
    std::copy(input_.begin() + from, input_.begin() + head_, input_.begin());
    std::copy(correction_.begin() + from, correction_.begin() + from + live, correction_.begin());
    std::fill(correction_.begin() + live, correction_.begin() + live + from, TComplex{0.0f, 0.0f});
    head_ -= from;
}

// h(n) = w(n) (e^(-j wHi n) - e^(-j wLo n)) / (-2 pi j n), h(0) = (wHi - wLo) / (2 pi),
// w = 2 pi f / rate, windowed by a Kaiser window of kPulseBeta over n = -halfLength..halfLength.
void MakeOvershootPulse(int32_t rateHz, long double loHz, long double hiHz, int32_t halfLength,
                        TComplexArray& pulse) {
    constexpr long double kTwoPi = 2 * std::numbers::pi_v<long double>;
    pulse.assign(static_cast<size_t>(2 * halfLength + 1), TComplex{0.0f, 0.0f});
    if (!(hiHz > loHz))
        return;
    const long double wLo = kTwoPi * loHz / rateHz, wHi = kTwoPi * hiHz / rateHz;
    const long double norm = std::cyl_bessel_i(0.0L, kPulseBeta);
    pulse[halfLength] = {static_cast<float>((wHi - wLo) / kTwoPi), 0.0f};
    for (int32_t n = 1; n <= halfLength; ++n) {
        const long double x = static_cast<long double>(n) / (halfLength + 1);
        const long double window =
            std::cyl_bessel_i(0.0L, kPulseBeta * std::sqrt(1 - x * x)) / norm;
        const long double re = (std::sin(wHi * n) - std::sin(wLo * n)) / (kTwoPi * n) * window;
        const long double im = (std::cos(wHi * n) - std::cos(wLo * n)) / (kTwoPi * n) * window;
        pulse[halfLength + n] = {static_cast<float>(re), static_cast<float>(im)};
        pulse[halfLength - n] = {static_cast<float>(re), static_cast<float>(-im)};
    }
}

} // namespace sonari
