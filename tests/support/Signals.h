#pragma once

// Test signals and the references they are measured with.

#include "SND/SndTypes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>

namespace sonari::test {

// amplitude * sin(2 pi f (first + n) + phase) for n = 0 .. count - 1 (f in cycles per sample).
inline TSingleArray Sine(size_t count, long double f, long double amplitude,
                         long double phase = 0.0L, size_t first = 0) {
    TSingleArray x(count);
    for (size_t n = 0; n < count; ++n)
        x[n] = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi_v<long double> * f * (first + n) + phase));
    return x;
}

// Gaussian noise of the given r.m.s. value.
inline TSingleArray Noise(size_t count, float rms, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> dist(0.0f, rms);
    TSingleArray x(count);
    for (float& v : x)
        v = dist(rng);
    return x;
}

// Speech-like test signal at `rate` samples/s: tones at 430 and 1270 Hz whose level swells and
// fades 1.3 times a second, over a little noise.
inline TSingleArray SpeechLike(size_t count, int32_t rate) {
    TSingleArray x = Noise(count, 2e7f, 7);
    for (size_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double swell = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * 1.3 * t);
        x[n] += static_cast<float>(swell * (6e8 * std::sin(2 * std::numbers::pi * 430 * t) +
                                            3e8 * std::sin(2 * std::numbers::pi * 1270 * t)));
    }
    return x;
}

// Amplitude of the sinusoid of frequency f in x[first .. first + count) by a least-squares
// fit of a cos + b sin, exact for a pure tone whatever the number of periods.
inline long double FittedAmplitude(const TSingleArray& x, long double f, size_t first,
                                   size_t count) {
    long double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (size_t n = first; n < first + count; ++n) {
        const long double w = 2 * std::numbers::pi_v<long double> * f * n;
        const long double c = std::cos(w), s = std::sin(w);
        cc += c * c;
        ss += s * s;
        cs += c * s;
        xc += x[n] * c;
        xs += x[n] * s;
    }
    const long double det = cc * ss - cs * cs;
    return std::hypot((xc * ss - xs * cs) / det, (xs * cc - xc * cs) / det);
}

// Magnitude of the direct DFT of x at f cycles per sample (any frequency, not only bins).
inline long double DftMagnitude(const TSingleArray& x, long double f) {
    long double re = 0, im = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        re += x[n] * std::cos(2 * std::numbers::pi_v<long double> * f * n);
        im -= x[n] * std::sin(2 * std::numbers::pi_v<long double> * f * n);
    }
    return std::hypot(re, im);
}

// Largest magnitude in x[first .. first + count).
inline float Peak(const TSingleArray& x, size_t first = 0, size_t count = SIZE_MAX) {
    float peak = 0.0f;
    for (size_t i = first; i < x.size() && i - first < count; ++i)
        peak = std::max(peak, std::fabs(x[i]));
    return peak;
}

inline long double Db(long double ratio) { return 20 * std::log10(ratio); }

} // namespace sonari::test
