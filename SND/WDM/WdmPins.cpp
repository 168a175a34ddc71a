#include "SND/WDM/WdmPins.h"

#include "SND/WDM/WdmErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sonari {

namespace {

bool IsOpen(THandle handle) { return handle != 0 && handle != kClosedHandle; }

TDataRange RequestRange(int32_t maxChannels, int32_t rate) {
    TDataRange range;
    range.MaxChannels = maxChannels;
    range.MinBits = 16;
    range.MaxBits = 32;
    range.MinRate = rate;
    range.MaxRate = rate;
    return range;
}

// The sample conversions walk frames of nBlockAlign bytes; an answer they cannot walk is
// refused here rather than failing on the first block.
bool IsUsableFormat(const TWaveFormatExtensible& format) {
    const int bits = format.wBitsPerSample;
    const bool knownWidth = bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return knownWidth && format.nBlockAlign > 0 &&
           format.nChannels * (bits / 8) <= format.nBlockAlign;
}

[[noreturn]] void RaiseStartError(const TPin& pin, int error) {
    RaiseWdmErrorFmt(pin.IsRender ? wdmStartOutputFailed : wdmStartInputFailed, pin.Filter->Name,
                     error);
}

} // namespace

TPin* FindPin(TFilter& device, bool isRender, const TDeviceSettings& settings) {
    for (TPin& pin : device.Pins)
        if (pin.IsRender == isRender && pin.MaxChannels >= settings.Channels &&
            pin.MinRate <= settings.SamplingRate && settings.SamplingRate <= pin.MaxRate)
            return &pin;
    return nullptr;
}

void OpenDevice(IAudioPlatform& platform, TFilter& device) {
    if (IsOpen(device.Handle))
        return;
    int error = 0;
    device.Handle = platform.OpenFilter(device.Path, error);
    if (device.Handle == kClosedHandle)
        RaiseWdmErrorFmt(wdmOpenDeviceFailed, device.Name);
}

void NegotiateFormat(IAudioPlatform& platform, TPin& pin, TDeviceSettings& settings) {
    // The settings' channel count first; the pin's full range if the driver cannot do fewer.
    const std::vector<TDataRange> request = {RequestRange(settings.Channels, settings.SamplingRate),
                                             RequestRange(pin.MaxChannels, settings.SamplingRate)};
    std::memset(&pin.WaveFormat, 0, sizeof pin.WaveFormat);
    int error = platform.DataIntersection(pin.Filter->Handle, pin.PinId, request, pin.DataFormat,
                                          pin.WaveFormat);
    if (error == 0 && !IsUsableFormat(pin.WaveFormat))
        error = EINVAL;
    if (error != 0)
        RaiseWdmErrorFmt(pin.IsRender ? wdmOutputFormatFailed : wdmInputFormatFailed,
                         pin.Filter->Name, error);
    if (pin.WaveFormat.nChannels != 0)
        settings.Channels = pin.WaveFormat.nChannels;
    settings.BitsPerSample = pin.WaveFormat.wBitsPerSample;
}

bool OpenPin(IAudioPlatform& platform, TPin& pin, TDeviceSettings& settings) {
    OpenDevice(platform, *pin.Filter);
    int result = kPinBusyError;
    if (pin.Handle == 0) {
        NegotiateFormat(platform, pin, settings);
        THandle handle = 0;
        result = platform.CreatePin(pin.Filter->Handle, pin.Connect, pin.DataFormat, pin.WaveFormat,
                                    pin.IsRender, settings.SamplesPerBuf, handle);
        pin.Handle = result == 0 ? handle : 0;
    }
    if (result != 0) {
        CloseDeviceIfIdle(platform, *pin.Filter);
        RaiseStartError(pin, result);
    }
    return true;
}

void ClosePin(IAudioPlatform& platform, TPin& pin) {
    if (pin.Handle == 0)
        return;
    platform.ClosePin(pin.Handle);
    pin.Handle = 0;
    CloseDeviceIfIdle(platform, *pin.Filter);
}

void CloseDeviceIfIdle(IAudioPlatform& platform, TFilter& device) {
    const bool inUse = std::any_of(device.Pins.begin(), device.Pins.end(),
                                   [](const TPin& pin) { return pin.Handle != 0; });
    if (inUse || !IsOpen(device.Handle))
        return;
    platform.CloseFilter(device.Handle);
    device.Handle = kClosedHandle;
}

void SetPinState(IAudioPlatform& platform, TPin& pin, TKsState state) {
    const int error = platform.SetPinState(pin.Handle, state);
    if (error != 0)
        RaiseStartError(pin, error);
}

} // namespace sonari
