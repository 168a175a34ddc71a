#pragma once

#include "SND/WDM/DeviceList.h"
#include "SND/WDM/WdmAudio.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sonari {

// Finding the operator's devices in a device list whose numbering changes: settings keep each
// device's caption and key, the command line names devices by number, caption or key.

// Devices whose key is `key`, those with a pin of that direction first.
std::vector<int32_t> DevicesWithKey(const TWdmAudio& audio, const std::string& key, bool isRender);
// Devices whose name, with or without its number, is `caption`, letter case ignored: those with
// a pin of that direction first, among them those whose number matches too.
std::vector<int32_t> DevicesNamed(const TWdmAudio& audio, const std::string& caption,
                                  bool isRender);

// Where a saved device of that direction is now: by its key, else by its caption without the
// number, else by the full caption; -1 when the list does not hold it.
int32_t FindSavedDevice(const TWdmAudio& audio, const TSavedDevice& saved, bool isRender);
// What the settings keep of a device; `index` must be valid.
TSavedDevice SavedDevice(const TWdmAudio& audio, int32_t index);

// Applies the saved devices to `selection`. A direction with nothing saved keeps its index; a
// saved device not found gets index -1 and stays in the selection as missing.
void SelectSavedDevices(const TWdmAudio& audio, const TSavedDevice& input,
                        const TSavedDevice& output, TDeviceSelection& selection);
// Reads the device list again (never while streaming) and keeps the selection on the same
// devices: one that is gone becomes missing, a missing one that is back is selected again.
void RefreshDevices(TWdmAudio& audio, TDeviceSelection& selection);

// "Sound device not found: Radio-TX" when the selection's device of that direction is a saved
// one the list does not hold; "" otherwise.
std::string MissingDeviceMessage(const TWdmAudio& audio, const TDeviceSelection& selection,
                                 bool isRender);
// The same for either direction, input first.
std::string MissingDeviceMessage(const TWdmAudio& audio, const TDeviceSelection& selection);

} // namespace sonari
