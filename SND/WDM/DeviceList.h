#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sonari {

// What the settings and dialogs need of the device list: names and lookups by name.
// The audio layer's device list implements it; tests may fake it.
class IDeviceList {
public:
    virtual ~IDeviceList() = default;

    // Number of devices; device indices are positions 0 .. DeviceCount() - 1.
    virtual int32_t DeviceCount() const = 0;
    // Display name of a valid index: "%.2d  %s" of (index + 1, friendly name).
    virtual std::string DeviceName(int32_t index) const = 0;
    // Index of the first device whose name equals `name` ignoring letter case; -1 when `name`
    // is empty or no device matches.
    virtual int32_t IndexOfDevice(const std::string& name) const = 0;
};

// Device names of one direction, each with its index in the device list attached.
using TDeviceNameList = std::vector<std::pair<std::string, int32_t>>;

// A device as the settings remember it.
struct TSavedDevice {
    std::string Caption; // the name the list showed: "05  Radio-TX"
    std::string Key;     // its key; "" in files written before keys were kept
};

// The operator's choice of devices: positions in the one device list that serves both
// directions. A saved device that the list does not hold has index -1 and is kept as missing,
// so that it is named to the operator and found again once it is back.
struct TDeviceSelection {
    // A plain choice of two devices, none missing.
    TDeviceSelection(int32_t input = 0, int32_t output = 0)
        : InputDeviceIndex(input), OutputDeviceIndex(output) {}

    int32_t InputDeviceIndex = 0;
    int32_t OutputDeviceIndex = 0;
    TSavedDevice MissingInput;
    TSavedDevice MissingOutput;
};

} // namespace sonari
