#pragma once

#include "SND/SndTypes.h"

#include <cstdint>

namespace sonari {

// Playback sources of modes 4 and 5 other than the voice. Each holds whole periods per
// 1024-sample block, so every block is the same and blocks join without a step.
//   tone 1: cos(2 pi 17 i / 1024) * 0.999 (2^31 - 1) / 2             (199.2 Hz, about -6 dBFS)
//   tone 2: (sin(2 pi 15 i / 1024) + sin(2 pi 19 i / 1024)) * 0.999 (2^31 - 1) / 4
//                                                       (175.8 Hz + 222.7 Hz, the same peak)
// Computed in extended precision, stored as float.
class TTestTones {
public:
    static constexpr int32_t kBlockSize = 1024;

    TTestTones();

    // The block of ToneMode 1 or 2; nullptr for any other mode.
    const TSingleArray* Block(int32_t toneMode) const;

private:
    TSingleArray single_;
    TSingleArray twoTone_;
};

} // namespace sonari
