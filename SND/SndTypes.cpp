#include "SND/SndTypes.h"

namespace sonari {

TComplex ComplexMul(TComplex a, TComplex b) {
    // Products of floats are exact in long double, so each part is rounded once more only.
    const long double ar = a.Re, ai = a.Im, br = b.Re, bi = b.Im;
    return {static_cast<float>(ar * br - ai * bi), static_cast<float>(ai * br + ar * bi)};
}

TComplex ComplexAdd(TComplex a, TComplex b) { return {a.Re + b.Re, a.Im + b.Im}; }

} // namespace sonari
