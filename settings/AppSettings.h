#pragma once

#include <cstdint>
#include <string>

namespace sonari {

// The program's own settings as the settings file holds them: what the main window applies at
// start and collects at the end.
struct TAppSettings {
    // Window position in screen pixels; without a saved "Left" the window stays centred.
    bool HasPosition = false;
    int32_t Left = 0;
    int32_t Top = 0;
    // Device names as the device list shows them ("01  Name"); "" when none is saved.
    std::string InputDevice;
    std::string OutputDevice;
    // The devices' keys, which find them when the numbering changed; "" in older files.
    std::string InputDeviceId;
    std::string OutputDeviceId;
    // Software gain in whole dB and its switch.
    int32_t SoftGain = 0;
    bool SoftGainEnabled = false;
    // Slider positions 0..1: playback volume and noise level.
    float PlaybackVolume = 0.75f;
    float NoiseLevel = 0.5f;
    // Full path of the current profile, "" for none.
    std::string LastProfile;
    // Live processing's latency: 0 blocks of 1024 samples at 12 kHz, 1 low (short blocks and
    // device buffers to match); the values of the engine's TLatencyMode.
    int32_t Latency = 1;
    // Step-4 source: 0 voice, 1 test tone, 2 two-tone (read, never saved).
    int32_t ToneMode = 0;
    bool StartInTray = false;
    bool StartProcessing = false;
};

// Reads `fileName` (normally SettingsFileName()) over `settings`: keys missing from the file
// leave the values as they are, and so does a Latency other than 0 or 1. A "Volume" or "Noise" that
// is not a number raises EConvertError and ends the load at that key, with what was read before it
// already in `settings`. EIniFileException when the file exists but cannot be read.
void LoadSettings(const std::string& fileName, TAppSettings& settings);

// Writes every setting but "GenerateTone", each reaching the file at once; the device names
// and keys only when both names are not empty, so devices saved earlier stay otherwise.
// EIniFileException "Unable to write to %s" ends the save at the key that failed.
void SaveSettings(const std::string& fileName, const TAppSettings& settings);

} // namespace sonari
