#include "engine/SliderScales.h"

namespace sonari {

float PlaybackGainDb(float sliderValue) {
    return static_cast<float>((static_cast<long double>(sliderValue) - 0.75L) * 80.0L);
}

float OutputGainDb(float sliderValue) {
    return static_cast<float>((static_cast<long double>(sliderValue) - 1.0L) * 80.0L);
}

float NoiseSnrDb(float sliderValue) {
    return static_cast<float>((1.0L - static_cast<long double>(sliderValue)) * 80.0L - 30.0L);
}

} // namespace sonari
