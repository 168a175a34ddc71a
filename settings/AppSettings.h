#pragma once

#include "SND/WDM/DeviceList.h"

#include <cstdint>
#include <string>

namespace sonari {

// What the settings file reads from and applies to the main window and, through it, the
// engine. The main window implements it; tests fake it.
class ISettingsHost {
public:
    virtual ~ISettingsHost() = default;

    // Window position in screen pixels.
    virtual int32_t WindowLeft() const = 0;
    virtual int32_t WindowTop() const = 0;
    // Leaves screen-centred placement for the window's own position (left, top).
    virtual void SetWindowPosition(int32_t left, int32_t top) = 0;

    // Software gain in whole dB; the host keeps it within -100..100 (its spin edit).
    virtual int32_t SoftGain() const = 0;
    virtual void SetSoftGain(int32_t gainDb) = 0;
    virtual bool SoftGainEnabled() const = 0;
    virtual void SetSoftGainEnabled(bool enabled) = 0;

    // Slider positions 0..1.
    virtual float PlaybackVolume() const = 0;
    virtual void SetPlaybackVolume(float position) = 0;
    virtual float NoiseLevel() const = 0;
    virtual void SetNoiseLevel(float position) = 0;
    // The engine's noise mixer ratio in dB.
    virtual void SetNoiseSnrDb(float snrDb) = 0;

    // Full path of the current profile, "" for none.
    virtual std::string ProfileFileName() const = 0;
    virtual void SetProfileFileName(const std::string& fileName) = 0;

    // The engine's step-4 source: 0 voice, 1 test tone, 2 two-tone (read, never saved).
    virtual void SetToneMode(int32_t toneMode) = 0;

    virtual bool StartInTray() const = 0;
    virtual void SetStartInTray(bool startInTray) = 0;
    virtual bool StartProcessing() const = 0;
    virtual void SetStartProcessing(bool startProcessing) = 0;
};

// Reads every setting of `fileName` (normally SettingsFileName()) and applies it to the host and
// the device selection; missing keys leave the current values. A device name is looked up in
// `devices`; a saved device that is gone selects device 0. A "Volume" or "Noise" that is not a
// number raises EConvertError and ends the load at that key. EIniFileException when the file
// exists but cannot be read.
void LoadSettings(const std::string& fileName, ISettingsHost& host, const IDeviceList& devices,
                  TDeviceSelection& selection);

// Writes every setting but "GenerateTone", each reaching the file at once; the device names only
// when the selection is valid, so names saved earlier stay otherwise. EIniFileException
// "Unable to write to %s" ends the save at the key that failed.
void SaveSettings(const std::string& fileName, const ISettingsHost& host,
                  const IDeviceList& devices, const TDeviceSelection& selection);

} // namespace sonari
