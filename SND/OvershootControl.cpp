#include "SND/OvershootControl.h"

#include "SND/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/OvershootControl";
// Samples the buffers hold beyond what a step needs, so they shift once per that many samples.
constexpr int32_t kSlack = 1024;
// A centre tap below this passes nothing worth correcting with.
constexpr float kSmallestCentre = 1e-6f;
// Corrections aim this much below the ceiling (about 1e-4 dB).
constexpr float kTargetRatio = 1.0f - 1.0f / 65536;
// Stop-band attenuation of the pulse's window and its Kaiser parameter 0.1102 (A - 8.7).
constexpr long double kPulseAttenuationDb = 150.0L;
constexpr long double kPulseBeta = 0.1102L * (kPulseAttenuationDb - 8.7L);

float* Floats(TComplexArray& a) { return reinterpret_cast<float*>(a.data()); }

// Four floats as one vector register (SSE2 on x86-64, NEON on ARM), with unaligned access.
using TFloat4 = float __attribute__((vector_size(16)));
TFloat4 Load4(const float* from) {
    TFloat4 v;
    std::memcpy(&v, from, sizeof v);
    return v;
}
void Store4(float* to, TFloat4 v) { std::memcpy(to, &v, sizeof v); }

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
        const auto size = static_cast<size_t>(Delay() + halfLength_ + 2 + kSlack);
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
// HalfLength + kSearch behind the first, output once no pulse can reach the sample any more.
void TOvershootControl::Process(const float* inPhase, const float* quadrature, float* out,
                                int32_t count) {
    const int32_t l = halfLength_, s = kSearch, delay = Delay();
    const auto size = static_cast<int32_t>(input_.size());
    for (int32_t i = 0; i < count; ++i) {
        if (head_ + l + 2 > size)
            Shift();
        const int32_t head = head_;
        input_[head] = {inPhase[i], quadrature[i]};
        if (usable_) {
            if (Power(head - s) > ceilingPower_)
                Check(head - s, head);
            if (Power(head - 2 * s - l) > ceilingPower_)
                Check(head - 2 * s - l, head - s - l);
        }
        out[i] = input_[head - delay].Re + correction_[head - delay].Re;
        head_ = head + 1;
    }
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
    // c -= (ar + j ai) p = ar p + ai (j p), four floats at a time
    float* c = Floats(correction_) + 2 * (at - halfLength_);
    const float* p = Floats(pulse_);
    const float* q = Floats(turned_);
    const TFloat4 a = {ar, ar, ar, ar}, b = {ai, ai, ai, ai};
    const size_t floats = 2 * pulse_.size();
    for (size_t j = 0; j < floats; j += 4)
        Store4(c + j, Load4(c + j) - (a * Load4(p + j) + b * Load4(q + j)));
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
