#include "engine/NoiseMixer.h"

#include "SND/Levels.h"

namespace sonari {

float SignalWeight(float snrDb) {
    const long double r = DbToGain(snrDb);
    return static_cast<float>(r / (1.0L + r));
}

void MixNoise(const TSingleArray& block, const TSingleArray& noise, int64_t position,
              float signalWeight, TSingleArray& out) {
    const float k = signalWeight;
    const auto loop = static_cast<int64_t>(noise.size() / kNoiseLoopBlock * kNoiseLoopBlock);
    if (loop == 0) {
        for (size_t i = 0; i < block.size(); ++i)
            out[i] = block[i] * k;
        return;
    }
    int64_t at = position % loop;
    for (size_t i = 0; i < block.size(); ++i) {
        out[i] = block[i] * k + (1.0f - k) * noise[static_cast<size_t>(at)];
        if (++at == loop)
            at = 0;
    }
}

} // namespace sonari
