#pragma once

#include "SND/SndTypes.h"

#include <cstdint>

namespace sonari {

// Blocks of the noise loop: the recording plays as a loop of whole blocks of this many samples,
// in step with the voice loop; its tail is never played.
constexpr int32_t kNoiseLoopBlock = 1024;

// Weight of the signal when noise is mixed at `snrDb`: k = r / (1 + r), r = 10^(snrDb / 20);
// the noise gets 1 - k, so the mixture stays within range and the amplitude ratio is r.
float SignalWeight(float snrDb);

// out[i] = block[i] k + (1 - k) noise[(position + i) mod L], L = the recording's whole loop
// blocks: with 1024-sample blocks that is the noise block numbered BlockCount mod n. Noise
// shorter than one loop block counts as silence. `out` has the block's length.
void MixNoise(const TSingleArray& block, const TSingleArray& noise, int64_t position,
              float signalWeight, TSingleArray& out);

} // namespace sonari
