#pragma once

#include "SND/SndTypes.h"

#include <cstdint>

namespace sonari {

// Weight of the signal when noise is mixed at `snrDb`: k = r / (1 + r), r = 10^(snrDb / 20);
// the noise gets 1 - k, so the mixture stays within range and the amplitude ratio is r.
float SignalWeight(float snrDb);

// block[i] := block[i] k + (1 - k) noise[offset + i], offset = (blockCount mod n) * block size,
// n = whole blocks in `noise`: the noise loops over whole blocks in step with the voice loop
// and its tail is never played. Empty noise leaves the block alone; noise shorter than one
// block counts as silence.
void MixNoise(TSingleArray& block, const TSingleArray& noise, int32_t blockCount, float snrDb);

} // namespace sonari
