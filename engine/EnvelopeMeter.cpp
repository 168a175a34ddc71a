#include "engine/EnvelopeMeter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonari {

namespace {

constexpr int32_t kSpan = 2 * TEnvelopeMeter::kHalfLength + 1;
// Kaiser window of 60 dB: 0.1102 (60 - 8.7).
constexpr long double kBeta = 5.653L;

} // namespace

// h[k] = 2 / (pi k) for odd k, 0 for even k, windowed.
TEnvelopeMeter::TEnvelopeMeter() {
    const long double norm = std::cyl_bessel_i(0.0L, kBeta);
    for (int32_t k = 1; k <= kHalfLength; k += 2) {
        const long double x = static_cast<long double>(k) / (kHalfLength + 1);
        const long double window = std::cyl_bessel_i(0.0L, kBeta * std::sqrt(1 - x * x)) / norm;
        taps_.push_back(static_cast<float>(2 / (std::numbers::pi_v<long double> * k) * window));
    }
    history_.assign(2 * kSpan, 0.0f);
}

void TEnvelopeMeter::Reset() {
    std::fill(history_.begin(), history_.end(), 0.0f);
    next_ = 0;
    peak_ = 0.0f;
}

void TEnvelopeMeter::Add(const TSingleArray& samples) {
    for (float x : samples)
        Take(x);
}

void TEnvelopeMeter::Finish() {
    for (int32_t i = 0; i < kHalfLength; ++i)
        Take(0.0f);
}

// The newest sample enters; the one kHalfLength back is in the middle of the window:
// envelope = |x[mid] + j sum h[k] (x[mid - k] - x[mid + k])|.
void TEnvelopeMeter::Take(float sample) {
    history_[next_] = history_[next_ + kSpan] = sample;
    next_ = next_ + 1 == kSpan ? 0 : next_ + 1;
    const float* window = history_.data() + next_; // oldest .. newest
    const float* mid = window + kHalfLength;
    double quadrature = 0.0;
    for (size_t i = 0; i < taps_.size(); ++i) {
        const int32_t k = 2 * static_cast<int32_t>(i) + 1;
        quadrature += static_cast<double>(taps_[i]) * (mid[-k] - mid[k]);
    }
    peak_ = std::max(peak_, static_cast<float>(std::hypot(static_cast<double>(*mid), quadrature)));
}

} // namespace sonari
