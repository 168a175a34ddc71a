#pragma once

#include "SND/SndTypes.h"

#include <cmath>
#include <cstddef>
#include <numbers>

namespace sonari::test {

// cos(2 pi f n + phase) * amplitude for n = 0 .. count - 1 (f in cycles per sample).
inline TSingleArray Sine(size_t count, long double f, long double amplitude,
                         long double phase = 0.0L) {
    TSingleArray x(count);
    for (size_t n = 0; n < count; ++n)
        x[n] = static_cast<float>(amplitude *
                                  std::cos(2 * std::numbers::pi_v<long double> * f * n + phase));
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
    const long double a = (xc * ss - xs * cs) / det;
    const long double b = (xs * cc - xc * cs) / det;
    return std::hypot(a, b);
}

// Magnitude of DFT bin k of x (direct sum).
inline long double DftMagnitude(const TSingleArray& x, size_t k) {
    long double re = 0, im = 0;
    const long double step = 2 * std::numbers::pi_v<long double> * k / x.size();
    for (size_t n = 0; n < x.size(); ++n) {
        re += x[n] * std::cos(step * n);
        im -= x[n] * std::sin(step * n);
    }
    return std::hypot(re, im);
}

inline long double Db(long double ratio) { return 20 * std::log10(ratio); }

} // namespace sonari::test
