#pragma once

#include "SND/SndTypes.h"

#include <cstdint>

namespace sonari {

// Four-term Blackman-Harris window at x = i/N (periodic window of length N): 0.00006 at x = 0,
// 1.0 at x = 0.5.
float BlackmanHarris(float x);

// sin(2 pi fc n)/n, and 2 pi fc at n = 0: pi times the normalised sinc, so kernels built from it
// are normalised by their users. fc is the cut-off as a fraction of the sampling rate.
float Sinc(int32_t n, float fc);

// Windowed-sinc low-pass of len taps centred at len div 2, -6 dB at fc (fraction of the
// sampling rate): kernel[i] = Sinc(i - len div 2, fc) * BlackmanHarris(i/len). Its sum is about
// pi. A len below 1 gives an empty kernel.
void MakeSincKernel(int32_t len, TSingleArray& kernel, float fc);

} // namespace sonari
