#include "SND/WDM/WdmPins.h"

#include "SND/WDM/WdmErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace sonari {

namespace {

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

[[noreturn]] void RaiseStartError(const TPin& pin, int error, const std::string& reason) {
    RaiseWdmErrorFmt(pin.IsRender ? wdmStartOutputFailed : wdmStartInputFailed, pin.Filter->Name,
                     error, reason);
}

[[noreturn]] void RaiseFormatError(const TPin& pin, int error, const std::string& reason) {
    RaiseWdmErrorFmt(pin.IsRender ? wdmOutputFormatFailed : wdmInputFormatFailed, pin.Filter->Name,
                     error, reason);
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
    if (device.Handle.IsOpen())
        return;
    try {
        device.Handle = TFilterHandle(platform, platform.OpenFilter(device.Path));
    } catch (const EOSError& e) {
        RaiseWdmErrorFmt(wdmOpenDeviceFailed, device.Name, e.what());
    }
}

void NegotiateFormat(IAudioPlatform& platform, TPin& pin, TDeviceSettings& settings) {
    // The settings' channel count first; the pin's full range if the driver cannot do fewer.
    const std::vector<TDataRange> request = {RequestRange(settings.Channels, settings.SamplingRate),
                                             RequestRange(pin.MaxChannels, settings.SamplingRate)};
    std::memset(&pin.WaveFormat, 0, sizeof pin.WaveFormat);
    try {
        platform.DataIntersection(pin.Filter->Handle.Get(), pin.PinId, request, pin.DataFormat,
                                  pin.WaveFormat);
    } catch (const EOSError& e) {
        RaiseFormatError(pin, e.ErrorCode(), e.what());
    }
    if (!IsUsableFormat(pin.WaveFormat))
        RaiseFormatError(pin, EINVAL,
                         std::to_string(pin.WaveFormat.wBitsPerSample) +
                             "-bit samples in frames of " +
                             std::to_string(pin.WaveFormat.nBlockAlign) + " bytes");
    if (pin.WaveFormat.nChannels != 0)
        settings.Channels = pin.WaveFormat.nChannels;
    settings.BitsPerSample = pin.WaveFormat.wBitsPerSample;
}

bool OpenPin(IAudioPlatform& platform, TPin& pin, TDeviceSettings& settings) {
    OpenDevice(platform, *pin.Filter);
    if (pin.Handle.IsOpen()) {
        CloseDeviceIfIdle(*pin.Filter);
        RaiseStartError(pin, kPinBusyError, "already in use");
    }
    NegotiateFormat(platform, pin, settings);
    try {
        pin.Handle = TPinHandle(platform, platform.CreatePin(pin.Filter->Handle.Get(), pin.Connect,
                                                             pin.DataFormat, pin.WaveFormat,
                                                             pin.IsRender, settings.SamplesPerBuf));
    } catch (const EOSError& e) {
        CloseDeviceIfIdle(*pin.Filter);
        RaiseStartError(pin, e.ErrorCode(), e.what());
    }
    return true;
}

void ClosePin(TPin& pin) {
    if (!pin.Handle.IsOpen())
        return;
    pin.Handle.Reset();
    CloseDeviceIfIdle(*pin.Filter);
}

void CloseDeviceIfIdle(TFilter& device) {
    const bool inUse = std::any_of(device.Pins.begin(), device.Pins.end(),
                                   [](const TPin& pin) { return pin.Handle.IsOpen(); });
    if (!inUse)
        device.Handle.Reset();
}

void SetPinState(IAudioPlatform& platform, TPin& pin, TKsState state) {
    try {
        platform.SetPinState(pin.Handle.Get(), state);
    } catch (const EOSError& e) {
        RaiseStartError(pin, e.ErrorCode(), e.what());
    }
}

} // namespace sonari
