#include "SND/OvershootControl.h"

#include "SND/Exceptions.h"
#include "SND/SimdPath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace sonari {

namespace {

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

// W floats per register, 2W of them, W 32-bit integers.
template <int W>
struct TLanes {
    typedef float F __attribute__((vector_size(4 * W)));
    typedef float F2 __attribute__((vector_size(8 * W)));
    typedef int32_t I __attribute__((vector_size(4 * W)));
};

template <class V>
[[gnu::always_inline]] inline void Load(V& v, const void* p) {
    std::memcpy(&v, p, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline void Store(void* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// Bit i set where |input + correction|^2 of sample i exceeds `ceilingPower`, i < kWindow; the
// same float operations as one sample at a time. Vectors travel by reference: wide vectors
// passed by value to a function compiled without the wide registers change the calling
// convention.
template <int W, size_t... J>
[[gnu::always_inline]] inline uint32_t OverStage(const float* input, const float* correction,
                                                 float ceilingPower, std::index_sequence<J...>) {
    using L = TLanes<W>;
    uint32_t over = 0;
    for (int first = 0; first < kWindow; first += W) {
        typename L::F2 in, corr;
        Load(in, input + 2 * first);
        Load(corr, correction + 2 * first);
        const typename L::F2 z = in + corr;
        const typename L::F re = __builtin_shufflevector(z, z, (2 * J)...);
        const typename L::F im = __builtin_shufflevector(z, z, (2 * J + 1)...);
        const typename L::I above = re * re + im * im > ceilingPower;
        for (int i = 0; i < W; ++i)
            over |= static_cast<uint32_t>(above[i] & 1) << (first + i);
    }
    return over;
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

uint32_t OverSse2(const float* input, const float* correction, float ceilingPower) {
    return OverStage<4>(input, correction, ceilingPower, std::make_index_sequence<4>());
}
[[gnu::target("avx2")]] uint32_t OverAvx2(const float* input, const float* correction,
                                          float ceilingPower) {
    return OverStage<8>(input, correction, ceilingPower, std::make_index_sequence<8>());
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
        for (int32_t i = 0; i < piece; ++i)
            input_[first + i] = {inPhase[done + i], quadrature[done + i]};
        head_ = first + piece;
        if (usable_)
            CheckPiece(first, head_);
        for (int32_t i = 0; i < piece; ++i)
            out[done + i] = input_[first + i - delay].Re + correction_[first + i - delay].Re;
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
    const int32_t s = kSearch, l = halfLength_;
    const auto over = ActiveSimdPath() == TSimdPath::Avx2 ? OverAvx2 : OverSse2;
    const float* input = Floats(input_);
    const float* correction = Floats(correction_);
    for (; t < end; t += kWindow) {
        const uint32_t first = over(input + 2 * (t - s), correction + 2 * (t - s), ceilingPower_);
        const uint32_t second =
            over(input + 2 * (t - 2 * s - l), correction + 2 * (t - 2 * s - l), ceilingPower_);
        if (const uint32_t any = first | second; any != 0)
            return std::min(t + __builtin_ctz(any), end);
    }
    return end;
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

// Moves the live part (from the next sample to leave onwards) to the front.
void TOvershootControl::Shift() {
    const int32_t from = head_ - Delay();
    std::move(input_.begin() + from, input_.end(), input_.begin());
    std::move(correction_.begin() + from, correction_.end(), correction_.begin());
    std::fill(input_.end() - from, input_.end(), TComplex{0.0f, 0.0f});
    std::fill(correction_.end() - from, correction_.end(), TComplex{0.0f, 0.0f});
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
