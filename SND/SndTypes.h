#pragma once

#include <cstdint>
#include <vector>

namespace sonari {

using TSingleArray = std::vector<float>;
using TIntegerArray = std::vector<int32_t>;
using TByteArray = std::vector<uint8_t>;
// Channel-major blocks: outer index channel, inner index frame.
using TDataBufferF = std::vector<TSingleArray>;
using TDataBufferI = std::vector<TIntegerArray>;

struct TComplex {
    float Re;
    float Im;
};
using TComplexArray = std::vector<TComplex>;

static_assert(sizeof(TComplex) == 2 * sizeof(float), "spectra are passed to the FFT as floats");

// a * b, computed in extended precision and rounded once to floats.
TComplex ComplexMul(TComplex a, TComplex b);
// a + b.
TComplex ComplexAdd(TComplex a, TComplex b);

} // namespace sonari
