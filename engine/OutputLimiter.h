#pragma once

#include "SND/Levels.h"
#include "SND/SndTypes.h"

namespace sonari {

// The last stage before device bytes and output files: limits every sample to +-kOutputLimit,
// the float nearest to 0.999 (2^31 - 1), and replaces a sample that is no finite number by 0,
// so nothing else reaches the conversion. True when any sample was replaced (the overload
// light).
bool LimitOutput(TSingleArray& samples);

} // namespace sonari
