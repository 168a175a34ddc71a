#include "engine/DcBlocker.h"

#include <algorithm>
#include <cmath>

namespace sonari {

namespace {

struct TCoefficients {
    float B0, B1, A;
};

// From the extended-precision pole, rounded to float once.
TCoefficients Coefficients() {
    const long double a = std::exp(-1.0L / 600.0L);
    return {static_cast<float>((1.0L + a) * 0.5L), static_cast<float>((1.0L + a) * -0.5L),
            static_cast<float>(a)};
}

float Sanitized(float x) {
    if (std::isnan(x))
        return 0.0f;
    return std::clamp(x, -TDcBlocker::kMaxInput, TDcBlocker::kMaxInput);
}

} // namespace

void TDcBlocker::Process(const TSingleArray& input, TSingleArray& output) {
    const TCoefficients c = Coefficients();
    output.resize(input.size());
    float previousIn = DcPrevIn;
    float previousOut = DcPrevOut;
    for (size_t i = 0; i < input.size(); ++i) {
        const float x = Sanitized(input[i]);
        const float y = c.B0 * x + c.B1 * previousIn + c.A * previousOut;
        output[i] = y;
        previousIn = x;
        previousOut = y;
    }
    DcPrevIn = previousIn;
    DcPrevOut = previousOut;
}

} // namespace sonari
