#pragma once

// The analytic envelope of a whole signal, the reference the overshoot tests measure with.

#include "SND/Fft.h"
#include "SND/SndTypes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace sonari::test {

// |x + j H{x}| of every sample, from one transform of the whole signal zero-padded to at least
// twice its length (so the Hilbert transform's tails do not wrap around).
inline TSingleArray AnalyticEnvelope(const TSingleArray& x) {
    if (x.size() > kFftMaxSize / 4) // the transform of twice the length must fit the FFT
        throw std::length_error("AnalyticEnvelope: signal too long");
    int n = 4;
    while (static_cast<size_t>(n) < 2 * x.size())
        n *= 2;
    TFftWork fft;
    TSingleArray a(static_cast<size_t>(n), 0.0f);
    std::copy(x.begin(), x.end(), a.begin());
    fft.Rdft(n, 1, a.data());
    // one-sided: DC and half rate once, every other bin twice; / (n/2) undoes the transform gain
    TSingleArray c(2 * static_cast<size_t>(n), 0.0f);
    const float scale = 2.0f / n;
    c[0] = a[0] * scale / 2;
    c[n] = a[1] * scale / 2;
    for (int k = 1; k < n / 2; ++k) {
        c[2 * k] = a[2 * k] * scale;
        c[2 * k + 1] = a[2 * k + 1] * scale;
    }
    fft.Cdft(2 * n, -1, c.data());
    TSingleArray envelope(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        envelope[i] = static_cast<float>(std::hypot(double{c[2 * i]}, double{c[2 * i + 1]}));
    return envelope;
}

// Largest envelope of x[first ..], in dB re `level`.
inline double EnvelopePeakDb(const TSingleArray& x, double level, size_t first = 0) {
    const TSingleArray envelope = AnalyticEnvelope(x);
    float peak = 0.0f;
    for (size_t i = first; i < envelope.size(); ++i)
        peak = std::max(peak, envelope[i]);
    return 20 * std::log10(peak / level);
}

} // namespace sonari::test
