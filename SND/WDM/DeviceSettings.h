#pragma once

#include <cstdint>

namespace sonari {

// Settings of one stream direction. Channels and BitsPerSample are rewritten with what the
// driver chose when the pin is created.
struct TDeviceSettings {
    int32_t Index = 0;         // position in the device list
    int32_t Channels = 0;      // channel count
    int32_t BitsPerSample = 0; // sample width, 8..32
    int32_t SamplingRate = 0;  // frames per second, 1000..200000
    int32_t SamplesPerBuf = 0; // frames per device buffer, at most 3 s

    bool operator==(const TDeviceSettings&) const = default;
};

// Raises EWdmAudioError 6..10 for the first rule the settings break.
void CheckDeviceSettings(const TDeviceSettings& settings, int32_t deviceCount);

// Raises EWdmAudioError 11 unless both buffers last equally long.
void CheckBufferMatch(const TDeviceSettings& input, const TDeviceSettings& output);

} // namespace sonari
