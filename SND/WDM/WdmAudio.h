#pragma once

#include "SND/WDM/AudioPlatform.h"
#include "SND/WDM/DeviceList.h"
#include "SND/WDM/WdmFilters.h"

#include <memory>
#include <string>
#include <vector>

namespace sonari {

// The device list: every device registered for capture or render that has a pin the layer can
// stream through, built at construction and again by Refresh. One list serves both directions;
// a device index is a position in Filters(). Main thread only, except that running streams read
// pin handles and formats.
class TWdmAudio : public IDeviceList {
public:
    explicit TWdmAudio(std::unique_ptr<IAudioPlatform> platform);
    ~TWdmAudio() override;
    TWdmAudio(const TWdmAudio&) = delete;
    TWdmAudio& operator=(const TWdmAudio&) = delete;

    // Reads the devices again, so that one switched on later can be chosen; indices and names
    // may change. Never while a device is open (a stream runs): an assertion failure
    // (SND/WDM/WdmAudio).
    void Refresh();

    // The platform loaded and at least one device was listed.
    bool Initialized() const { return initialized_; }
    // Why the platform could not be loaded or its devices listed; empty when it could.
    const std::string& FailureReason() const { return failure_; }
    IAudioPlatform& Platform() { return *platform_; }

    TFilters& Filters() { return filters_; }
    const TFilters& Filters() const { return filters_; }
    // Devices with a capture / render pin, in list order.
    const TDeviceNameList& CaptureNames() const { return captureNames_; }
    const TDeviceNameList& RenderNames() const { return renderNames_; }

    // Format range over the device's pins of that direction; `deviceIndex` must be valid.
    TDeviceCaps GetCaps(int32_t deviceIndex, bool isRender) const;
    // Some pin of the device has that direction; `deviceIndex` must be valid.
    bool HasPin(int32_t deviceIndex, bool isRender) const;

    int32_t DeviceCount() const override;
    std::string DeviceName(int32_t index) const override;
    int32_t IndexOfDevice(const std::string& name) const override;
    // The device's identity, kept by the settings beside its name: a sound server's name for
    // an endpoint, an ALSA PCM name, a card's id and device number. `index` must be valid.
    const std::string& DeviceKey(int32_t index) const;

private:
    void Build();
    void EnumerateDevices();
    bool AddDevice(uint32_t interfaceIndex);
    void ScanPins(TFilter& device);
    bool ExaminePin(const TFilter& device, THandle filter, uint32_t pinId, TPin& pin);

    std::unique_ptr<IAudioPlatform> platform_;
    bool initialized_ = false;
    std::string failure_;
    TFilters filters_;
    TDeviceNameList captureNames_;
    TDeviceNameList renderNames_;
};

} // namespace sonari
