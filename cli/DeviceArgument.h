#pragma once

#include "SND/WDM/DeviceList.h"

#include <string>

namespace sonari::cli {

// The device a command-line argument names: its number as "devices" lists it (1-based), its
// full listed name, or its name without the number, letter case ignored. Raises Exception when
// nothing or more than one device matches.
int32_t ResolveDevice(const IDeviceList& devices, const std::string& argument);

} // namespace sonari::cli
