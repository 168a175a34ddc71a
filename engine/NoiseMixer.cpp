#include "engine/NoiseMixer.h"

#include <cmath>

namespace sonari {

float SignalWeight(float snrDb) {
    const long double r = std::pow(10.0L, static_cast<long double>(snrDb) / 20.0L);
    return static_cast<float>(r / (1.0L + r));
}

void MixNoise(TSingleArray& block, const TSingleArray& noise, int32_t blockCount, float snrDb) {
    if (noise.empty())
        return;
    const float k = SignalWeight(snrDb);
    const size_t length = block.size();
    const size_t wholeBlocks = length == 0 ? 0 : noise.size() / length;
    if (wholeBlocks == 0) {
        for (float& x : block)
            x *= k;
        return;
    }
    const size_t offset = (static_cast<size_t>(blockCount) % wholeBlocks) * length;
    for (size_t i = 0; i < length; ++i)
        block[i] = block[i] * k + (1.0f - k) * noise[offset + i];
}

} // namespace sonari
