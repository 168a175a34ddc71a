#pragma once

#include "settings/Profile.h"

#include <ostream>
#include <string>

namespace sonari::cli {

// The profile of --profile over the defaults (equalizer on, gate/compressor/clipper off, output
// gain 0 dB). Unlike the window, a missing file is an error here: a mistyped name must not run
// with other settings. Each value the profile ignores is named on `err`
// ("Ignored [Clipper] ClipThreshold=nan: not a number"); the rest still applies.
TProfile ReadProfileOption(const std::string& fileName, std::ostream& err);

} // namespace sonari::cli
