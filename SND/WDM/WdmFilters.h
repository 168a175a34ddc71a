#pragma once

#include "SND/WDM/AudioPlatform.h"
#include "SND/WDM/PlatformHandles.h"
#include "SND/WaveFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sonari {

struct TFilter;

// One usable pin of a device.
struct TPin {
    uint32_t PinId = 0;        // pin factory number within the device
    TFilter* Filter = nullptr; // the owning device, set once the list is complete
    TPinHandle Handle;         // the created pin; closed when not created
    TPinConnect Connect;       // connection request for pin creation
    TDataFormat DataFormat;    // overwritten by the driver's answer before each creation
    TWaveFormatExtensible WaveFormat{};
    TRtAudioBuffer RtBuffer; // cyclic buffer of a real-time device
    bool IsRender = false;   // data flows into the pin (output)
    int32_t MaxChannels = 0; // capabilities over the pin's audio data ranges
    int32_t MinBits = 0;
    int32_t MaxBits = 0;
    int32_t MinRate = 0;
    int32_t MaxRate = 0;
};
using TPins = std::vector<TPin>;

// One audio device.
struct TFilter {
    std::string Path;        // what the platform opens
    std::string Name;        // "%.2d  %s" of list position + 1 and the friendly name
    std::string Key;         // the device's identity where positions change (settings keep it)
    TFilterHandle Handle;    // the device opened for streaming
    bool IsRealtime = false; // pins stream through a cyclic buffer
    TPins Pins;
};
using TFilters = std::vector<TFilter>;

// Format range of one direction of a device.
struct TDeviceCaps {
    int32_t MaxChannels = 0;
    int32_t MinBits = 2147483647;
    int32_t MaxBits = 0;
    int32_t MinRate = 2147483647;
    int32_t MaxRate = 0;
    bool Found = false;
};

} // namespace sonari
