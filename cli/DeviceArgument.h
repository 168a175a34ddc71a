#pragma once

#include "SND/WDM/WdmAudio.h"

#include <string>

namespace sonari::cli {

// The device of that direction a command-line argument names: its number as "devices" lists it
// (1-based), its key, or its name with or without the number, letter case ignored. A sound
// server's output and input often share a description; the direction tells them apart. Raises
// Exception when nothing matches or several devices of that direction do.
int32_t ResolveDevice(const TWdmAudio& audio, const std::string& argument, bool isRender);

} // namespace sonari::cli
