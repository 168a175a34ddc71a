#pragma once

#include "SND/WDM/AudioPlatform.h"
#include "SND/WDM/DeviceSettings.h"
#include "SND/WDM/WdmFilters.h"

namespace sonari {

// Pin choice, format negotiation and pin creation for a stream's directions. Everything but
// SetPinState runs in the main thread; SetPinState runs in the streaming thread.

// Result code of creating a pin that is already created (busy).
constexpr int kPinBusyError = 170;

// First pin of `device` with that direction that can carry the settings' channel count and
// rate; null when there is none. The sample width is the driver's choice and not compared.
TPin* FindPin(TFilter& device, bool isRender, const TDeviceSettings& settings);

// Failures carry the platform's words for them as the error's Reason().

// Opens the device for streaming unless it is open; raises code 12 when it cannot be opened.
void OpenDevice(IAudioPlatform& platform, TFilter& device);

// Asks the driver for a format within the settings' channels and rate and 16..32 bits; the
// answer becomes the pin's format and its channels and width are written into `settings`.
// Raises code 17 (render) or 18 (capture).
void NegotiateFormat(IAudioPlatform& platform, TPin& pin, TDeviceSettings& settings);

// Opens the device, negotiates and creates the pin; raises code 12, 17/18 or 13/14 (with 170
// when the pin is already created), closing the device again if nothing else uses it.
bool OpenPin(IAudioPlatform& platform, TPin& pin, TDeviceSettings& settings);

// Releases a created pin and, when it was the device's last, the device.
void ClosePin(TPin& pin);
void CloseDeviceIfIdle(TFilter& device);

// Raises code 13 (render) or 14 (capture) with the platform's error when the driver refuses.
void SetPinState(IAudioPlatform& platform, TPin& pin, TKsState state);

} // namespace sonari
