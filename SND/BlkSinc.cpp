#include "SND/BlkSinc.h"

#include <cmath>
#include <numbers>

namespace sonari {

namespace {
constexpr long double kTwoPi = 2.0L * std::numbers::pi_v<long double>;
}

float BlackmanHarris(float x) {
    const long double t = kTwoPi * x;
    return static_cast<float>(0.35875L - 0.48829L * std::cos(t) + 0.14128L * std::cos(2 * t) -
                              0.01168L * std::cos(3 * t));
}

float Sinc(int32_t n, float fc) {
    if (n == 0)
        return static_cast<float>(kTwoPi * fc);
    return static_cast<float>(std::sin(kTwoPi * fc * n) / n);
}

void MakeSincKernel(int32_t len, TSingleArray& kernel, float fc) {
    kernel.assign(len > 0 ? len : 0, 0.0f);
    for (int32_t i = 0; i < len; ++i) {
        const float window = BlackmanHarris(static_cast<float>(i) / static_cast<float>(len));
        kernel[i] = static_cast<float>(static_cast<long double>(Sinc(i - len / 2, fc)) * window);
    }
}

} // namespace sonari
