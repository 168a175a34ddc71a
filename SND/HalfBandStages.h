#pragma once

#include "SND/SimdPath.h"

#include <array>
#include <cstddef>

namespace sonari {

// A half-band FIR filter: its taps at even distances other than 0 are zero.
struct THalfBandFilter {
    static constexpr int kMaxPairs = 38;
    int pairs = 0;                                  // K: coefficient pairs at odd tap distances
    float centre = 1.0f;                            // coefficient at distance 0
    std::array<float, kMaxPairs> coefficients = {}; // h_k at distance 2k + 1
};

// The stages sum in double rather than extended precision: each output is the float that the
// extended sum rounds to, or one ulp away when that sum lies within about 2^-29 ulp of a
// rounding boundary. Both allocate nothing; every path gives the same bits.

// y[i] = c0 x[c] + sum_k h_k (x[c-2k-1] + x[c+2k+1]), c = 2i + 2K - 1, for i < outputs;
// x holds 2 outputs + 4K - 2 samples.
void DecimateHalfBand(TSimdPath path, const THalfBandFilter& filter, const float* x, float* y,
                      size_t outputs);

// y[2i] = c0 x[j], y[2i+1] = sum_k h_k (x[j-k] + x[j+1+k]), j = i + K - 1, for i < inputs;
// x holds inputs + 2K - 1 samples, y receives 2 inputs.
void InterpolateHalfBand(TSimdPath path, const THalfBandFilter& filter, const float* x, float* y,
                         size_t inputs);

} // namespace sonari
