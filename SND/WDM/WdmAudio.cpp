#include "SND/WDM/WdmAudio.h"

#include "SND/Exceptions.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace sonari {

namespace {

std::string NumberedName(size_t position, const std::string& friendlyName) {
    char number[16];
    std::snprintf(number, sizeof number, "%.2d", static_cast<int>(position));
    return std::string(number) + "  " + friendlyName;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

// Standard-set interface entries are copied into the connect request until one has the wanted
// id; true when one had.
bool PickInterface(const std::vector<TKsIdentifier>& interfaces, uint32_t wantedId,
                   TPinConnect& connect) {
    for (const TKsIdentifier& entry : interfaces) {
        if (!(entry.Set == KSINTERFACESETID_Standard))
            continue;
        connect.Interface = entry;
        if (entry.Id == wantedId)
            return true;
    }
    return false;
}

bool HasStandardMedium(const std::vector<TKsIdentifier>& mediums) {
    return std::any_of(mediums.begin(), mediums.end(), [](const TKsIdentifier& m) {
        return m.Set == KSMEDIUMSETID_Standard && m.Id == 0;
    });
}

// Widens `caps` to cover `range`: most channels, fewest and most bits, lowest and highest rate.
template <typename TCaps, typename TRange>
void Widen(TCaps& caps, const TRange& range) {
    caps.MaxChannels = std::max(caps.MaxChannels, range.MaxChannels);
    caps.MinBits = std::min(caps.MinBits, range.MinBits);
    caps.MaxBits = std::max(caps.MaxBits, range.MaxBits);
    caps.MinRate = std::min(caps.MinRate, range.MinRate);
    caps.MaxRate = std::max(caps.MaxRate, range.MaxRate);
}

// Capabilities over the PCM audio ranges; false when there is none.
bool GatherRanges(const std::vector<TDataRange>& ranges, TPin& pin) {
    const TDeviceCaps empty;
    pin.MaxChannels = empty.MaxChannels;
    pin.MinBits = empty.MinBits;
    pin.MaxBits = empty.MaxBits;
    pin.MinRate = empty.MinRate;
    pin.MaxRate = empty.MaxRate;
    bool found = false;
    for (const TDataRange& range : ranges) {
        if (IsPcmAudioRange(range)) {
            Widen(pin, range);
            found = true;
        }
    }
    return found;
}

void FillTemplates(uint32_t pinId, TPin& pin) {
    pin.PinId = pinId;
    pin.Connect.Medium = {KSMEDIUMSETID_Standard, 0, 0};
    pin.Connect.PinId = pinId;
    pin.Connect.PinToHandle = 0;
    pin.Connect.PriorityClass = 0x40000000;
    pin.Connect.PrioritySubClass = 1;
    pin.DataFormat = PcmDataFormat();
}

} // namespace

TWdmAudio::TWdmAudio(std::unique_ptr<IAudioPlatform> platform) : platform_(std::move(platform)) {
    Build();
}

// The devices go before the platform (member order), closing whatever is still open.
TWdmAudio::~TWdmAudio() = default;

void TWdmAudio::Refresh() {
    const bool open = std::any_of(filters_.begin(), filters_.end(), [](const TFilter& device) {
        return device.Handle.IsOpen() ||
               std::any_of(device.Pins.begin(), device.Pins.end(),
                           [](const TPin& pin) { return pin.Handle.IsOpen(); });
    });
    Assert(!open, "SND/WDM/WdmAudio");
    initialized_ = false;
    failure_.clear();
    filters_.clear();
    captureNames_.clear();
    renderNames_.clear();
    Build();
}

void TWdmAudio::Build() {
    if (!platform_)
        return;
    try {
        platform_->Load();
    } catch (const std::exception& e) {
        failure_ = e.what();
        return;
    }
    EnumerateDevices();
    if (filters_.empty())
        return;
    for (size_t i = 0; i < filters_.size(); ++i) {
        const auto index = static_cast<int32_t>(i);
        if (HasPin(index, false))
            captureNames_.push_back({filters_[i].Name, index});
        if (HasPin(index, true))
            renderNames_.push_back({filters_[i].Name, index});
    }
    initialized_ = true;
}

void TWdmAudio::EnumerateDevices() {
    filters_.clear();
    try {
        for (uint32_t index = 0; index <= static_cast<uint32_t>(INT_MAX); ++index)
            if (!AddDevice(index))
                break;
        for (TFilter& device : filters_)
            for (TPin& pin : device.Pins)
                pin.Filter = &device;
    } catch (const std::exception& e) {
        // A failing enumeration leaves no half-built list behind.
        filters_.clear();
        failure_ = e.what();
    }
}

// Adds the device of one interface if it qualifies; false when there are no more interfaces.
bool TWdmAudio::AddDevice(uint32_t interfaceIndex) {
    TDeviceInterface info;
    if (!platform_->EnumDeviceInterface(interfaceIndex, info))
        return false;
    const bool isAudioDevice = info.Render == iaPresent || info.Capture == iaPresent;
    if (!isAudioDevice || !info.PathFound || !info.NameFound)
        return true;

    TFilter device;
    device.IsRealtime = info.Realtime == iaPresent;
    device.Path = info.Path;
    device.Key = info.Key.empty() ? info.Path : info.Key;
    device.Name = NumberedName(filters_.size() + 1, info.FriendlyName);
    ScanPins(device);
    if (!device.Pins.empty())
        filters_.push_back(std::move(device));
    return true;
}

// The device is open only while its pins are examined.
void TWdmAudio::ScanPins(TFilter& device) {
    TFilterHandle filter;
    try {
        filter = TFilterHandle(*platform_, platform_->OpenFilter(device.Path));
    } catch (const EOSError&) {
        return; // a device that cannot be opened has no pins
    }
    uint32_t count = 0;
    try {
        count = platform_->PinCount(filter.Get());
    } catch (const std::exception&) {
        count = 0;
    }
    for (uint32_t pinId = 0; pinId < count; ++pinId) {
        TPin pin;
        try {
            if (ExaminePin(device, filter.Get(), pinId, pin))
                device.Pins.push_back(std::move(pin));
        } catch (const std::exception&) {
            // A pin that cannot be examined is left out; the others may still serve.
        }
    }
}

bool TWdmAudio::ExaminePin(const TFilter& device, THandle filter, uint32_t pinId, TPin& pin) {
    IAudioPlatform& p = *platform_;
    const TPinCommunication communication = p.PinCommunication(filter, pinId);
    if (communication != pcSink && communication != pcBoth)
        return false;
    const uint32_t wantedInterface =
        device.IsRealtime ? KSINTERFACE_STANDARD_LOOPED_STREAMING : KSINTERFACE_STANDARD_STREAMING;
    if (!PickInterface(p.PinInterfaces(filter, pinId), wantedInterface, pin.Connect))
        return false;
    if (!HasStandardMedium(p.PinMediums(filter, pinId)))
        return false;
    if (!GatherRanges(p.PinDataRanges(filter, pinId), pin))
        return false;
    const TPinDataFlow flow = p.PinDataFlow(filter, pinId);
    if (flow != dfIn && flow != dfOut)
        return false;
    pin.IsRender = flow == dfIn;
    p.PinInstanceCount(filter, pinId);
    FillTemplates(pinId, pin);
    return true;
}

TDeviceCaps TWdmAudio::GetCaps(int32_t deviceIndex, bool isRender) const {
    TDeviceCaps caps;
    for (const TPin& pin : filters_.at(static_cast<size_t>(deviceIndex)).Pins) {
        if (pin.IsRender != isRender)
            continue;
        caps.Found = true;
        Widen(caps, pin);
    }
    return caps;
}

bool TWdmAudio::HasPin(int32_t deviceIndex, bool isRender) const {
    const TPins& pins = filters_.at(static_cast<size_t>(deviceIndex)).Pins;
    return std::any_of(pins.begin(), pins.end(),
                       [&](const TPin& pin) { return pin.IsRender == isRender; });
}

int32_t TWdmAudio::DeviceCount() const { return static_cast<int32_t>(filters_.size()); }

std::string TWdmAudio::DeviceName(int32_t index) const {
    return filters_.at(static_cast<size_t>(index)).Name;
}

const std::string& TWdmAudio::DeviceKey(int32_t index) const {
    return filters_.at(static_cast<size_t>(index)).Key;
}

int32_t TWdmAudio::IndexOfDevice(const std::string& name) const {
    if (name.empty())
        return -1;
    for (size_t i = 0; i < filters_.size(); ++i)
        if (SameTextIgnoringCase(filters_[i].Name, name))
            return static_cast<int32_t>(i);
    return -1;
}

} // namespace sonari
