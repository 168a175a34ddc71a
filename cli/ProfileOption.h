#pragma once

#include "settings/Profile.h"

#include <string>

namespace sonari::cli {

// The profile of --profile over the defaults (equalizer on, gate/compressor/clipper off, output
// gain 0 dB). Unlike the window, a missing file is an error here: a mistyped name must not run
// with other settings.
TProfile ReadProfileOption(const std::string& fileName);

} // namespace sonari::cli
