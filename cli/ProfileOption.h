#pragma once

#include "SND/MicEqual.h"
#include "cli/ConsoleView.h"

#include <string>

namespace sonari::cli {

// Loads a profile into the equalizer and the view's switches and output gain. Unlike the
// window, a missing file is an error here: a mistyped name must not run with other settings.
void ApplyProfile(const std::string& fileName, TMicEqualizer& equalizer, TConsoleView& view);

} // namespace sonari::cli
