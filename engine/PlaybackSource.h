#pragma once

#include "SND/SndTypes.h"
#include "engine/TestTones.h"

#include <cstdint>

namespace sonari {

// What modes 4 and 5 play into the processor, by ToneMode: 0 the recorded voice as a loop of
// whole 1024-sample blocks (its tail is never played), 1 the test tone, 2 the two-tone signal;
// silence for a voice without a whole block or an unknown ToneMode.
class TPlaybackSource {
public:
    static constexpr int32_t kLoopBlock = 1024;

    // Fills `block` with the samples from `position` (samples since the run began).
    void Fill(TSingleArray& block, int64_t position, int32_t toneMode,
              const TSingleArray& voice) const;

private:
    TTestTones tones_;
};

} // namespace sonari
