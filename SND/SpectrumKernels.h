#pragma once

#include "SND/SimdPath.h"
#include "SND/SndTypes.h"

#include <cstddef>

namespace sonari {

// Per-bin and per-sample arithmetic of the equalizer's blocks, vectorized. Each gives the floats
// of its extended-precision definition bit for bit, whatever the path; allocates nothing.

// out[k] = ComplexMul(a[k], b[k]) for k < count; out may be a.
void MultiplySpectra(TSimdPath path, const TComplex* a, const TComplex* b, TComplex* out,
                     size_t count);

// magnitude[k] = sqrt(Re^2 + Im^2) of z[k] in extended precision, rounded to a float.
void Magnitudes(TSimdPath path, const TComplex* z, float* magnitude, size_t count);

} // namespace sonari
