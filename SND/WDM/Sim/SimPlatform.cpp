#include "SND/WDM/Sim/SimPlatform.h"

#include "SND/Exceptions.h"
#include "SND/WDM/WdmPins.h"

#include <algorithm>
#include <cerrno>

namespace sonari {

namespace {

// The widest container width inside both ranges, as a driver that prefers resolution picks it.
int PickWidth(const TDataRange& request, const TDataRange& offered) {
    const int32_t lo = std::max(request.MinBits, offered.MinBits);
    const int32_t hi = std::min(request.MaxBits, offered.MaxBits);
    for (int bits : {32, 24, 16, 8})
        if (lo <= bits && bits <= hi)
            return bits;
    return 0;
}

TWaveFormatExtensible Answer(int channels, int rate, int bits) {
    TWaveFormatExtensible f{};
    f.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = static_cast<uint32_t>(rate);
    f.wBitsPerSample = static_cast<uint16_t>(bits);
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    f.cbSize = kExtensibleExtraSize;
    f.wValidBitsPerSample = static_cast<uint16_t>(bits);
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

} // namespace

TSimPin SimPin(bool isRender, int32_t maxChannels, int32_t minBits, int32_t maxBits,
               int32_t minRate, int32_t maxRate) {
    TSimPin pin;
    pin.DataFlow = isRender ? dfIn : dfOut;
    TDataRange range;
    range.MaxChannels = maxChannels;
    range.MinBits = minBits;
    range.MaxBits = maxBits;
    range.MinRate = minRate;
    range.MaxRate = maxRate;
    pin.Ranges = {range};
    return pin;
}

TSimDevice SimDevice(const std::string& friendlyName, std::vector<TSimPin> pins, bool isRealtime) {
    TSimDevice device;
    device.FriendlyName = friendlyName;
    for (TSimPin& pin : pins) {
        (pin.DataFlow == dfIn ? device.Render : device.Capture) = iaPresent;
        if (isRealtime)
            pin.Interfaces = {
                {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_LOOPED_STREAMING, 0}};
    }
    device.Realtime = isRealtime ? iaPresent : iaNone;
    device.Pins = std::move(pins);
    return device;
}

TSimPlatform::TSimPlatform(TClock clock)
    : clock_(clock), epoch_(std::chrono::steady_clock::now()), events_([this] { WakeWaiters(); }) {}

TSimPlatform::~TSimPlatform() = default;

void TSimPlatform::WakeWaiters() {
    { std::lock_guard lock(mutex_); }
    wake_.notify_all();
}

size_t TSimPlatform::AddDevice(TSimDevice described) {
    std::lock_guard lock(mutex_);
    if (described.Path.empty())
        described.Path = "sim:" + std::to_string(devices_.size());
    devices_.push_back(std::move(described));
    open_.push_back(false);
    return devices_.size() - 1;
}

void TSimPlatform::SetSource(size_t device, uint32_t pinId, TSimSource source) {
    std::lock_guard lock(mutex_);
    devices_.at(device).Pins.at(pinId).Source = std::move(source);
}

void TSimPlatform::SetSink(size_t device, uint32_t pinId, TSimSink sink) {
    std::lock_guard lock(mutex_);
    devices_.at(device).Pins.at(pinId).Sink = std::move(sink);
}

std::optional<size_t> TSimPlatform::DeviceOfPath(const std::string& path) const {
    std::lock_guard lock(mutex_);
    for (size_t d = 0; d < devices_.size(); ++d)
        if (devices_[d].Path == path)
            return d;
    return std::nullopt;
}

std::optional<size_t> TSimPlatform::DeviceOfFilter(THandle filter) const {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    return it == filters_.end() ? std::nullopt : std::optional<size_t>(it->second);
}

std::optional<std::pair<size_t, uint32_t>> TSimPlatform::PinOfHandle(THandle pin) const {
    std::lock_guard lock(mutex_);
    const TRun* run = FindRun(pin);
    return run ? std::optional(std::pair(run->Device, run->PinId)) : std::nullopt;
}

const std::string& TSimPlatform::DeviceName(size_t device) const {
    std::lock_guard lock(mutex_);
    return devices_.at(device).FriendlyName;
}

void TSimPlatform::Load() {}

bool TSimPlatform::EnumDeviceInterface(uint32_t index, TDeviceInterface& device) {
    std::lock_guard lock(mutex_);
    if (index >= devices_.size())
        return false;
    const TSimDevice& described = devices_[index];
    device.Render = described.Render;
    device.Capture = described.Capture;
    device.Realtime = described.Realtime;
    device.PathFound = true;
    device.Path = described.Path;
    device.NameFound = true;
    device.FriendlyName = described.FriendlyName;
    return true;
}

THandle TSimPlatform::OpenFilter(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (size_t d = 0; d < devices_.size(); ++d) {
        if (devices_[d].Path != path)
            continue;
        if (open_[d])
            RaiseSystemError(EBUSY, devices_[d].FriendlyName); // opened without sharing
        open_[d] = true;
        filters_[nextHandle_] = d;
        return nextHandle_++;
    }
    RaiseSystemError(ENOENT, path);
}

void TSimPlatform::CloseFilter(THandle filter) noexcept {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        return;
    open_[it->second] = false;
    filters_.erase(it);
}

uint32_t TSimPlatform::PinCount(THandle filter) {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        RaiseSystemError(EBADF, "PinCount");
    return static_cast<uint32_t>(devices_[it->second].Pins.size());
}

const TSimPin& TSimPlatform::CheckedPin(THandle filter, uint32_t pinId) {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        RaiseSystemError(EBADF, "pin property");
    const TSimDevice& device = devices_[it->second];
    if (pinId >= device.Pins.size())
        RaiseSystemError(EINVAL, device.FriendlyName);
    return device.Pins[pinId];
}

TPinCommunication TSimPlatform::PinCommunication(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId).Communication;
}

std::vector<TKsIdentifier> TSimPlatform::PinInterfaces(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId).Interfaces;
}

std::vector<TKsIdentifier> TSimPlatform::PinMediums(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId).Mediums;
}

std::vector<TDataRange> TSimPlatform::PinDataRanges(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId).Ranges;
}

TPinDataFlow TSimPlatform::PinDataFlow(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId).DataFlow;
}

uint32_t TSimPlatform::PinInstanceCount(THandle filter, uint32_t pinId) {
    CheckedPin(filter, pinId);
    return 1;
}

void TSimPlatform::DataIntersection(THandle filter, uint32_t pinId,
                                    const std::vector<TDataRange>& ranges, TDataFormat& dataFormat,
                                    TWaveFormatExtensible& waveFormat) {
    const TSimPin& pin = CheckedPin(filter, pinId);
    for (const TDataRange& request : ranges) {
        for (const TDataRange& offered : pin.Ranges) {
            if (!IsPcmAudioRange(offered) || request.MinRate < offered.MinRate ||
                request.MinRate > offered.MaxRate)
                continue;
            const int channels = std::min(request.MaxChannels, offered.MaxChannels);
            const int bits = PickWidth(request, offered);
            if (channels < 1 || bits == 0)
                continue;
            waveFormat = Answer(channels, request.MinRate, bits);
            dataFormat = PcmDataFormat();
            return;
        }
    }
    RaiseSystemError(EINVAL, DeviceName(*DeviceOfFilter(filter)));
}

THandle TSimPlatform::CreatePin(THandle filter, const TPinConnect& connect, const TDataFormat&,
                                const TWaveFormatExtensible& waveFormat, bool forWriting,
                                int32_t framesPerBuffer) {
    const long double clockRatio = ClockRatio(DeviceOfFilter(filter).value_or(0), connect.PinId);
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        RaiseSystemError(EBADF, "CreatePin");
    const size_t device = it->second;
    const std::string& name = devices_[device].FriendlyName;
    if (connect.PinId >= devices_[device].Pins.size())
        RaiseSystemError(EINVAL, name);
    const TSimPin& described = devices_[device].Pins[connect.PinId];
    for (const auto& [handle, run] : runs_)
        if (run->Device == device && run->PinId == connect.PinId)
            throw EOSError(kPinBusyError, name + ": the pin is in use");
    if (forWriting != (described.DataFlow == dfIn))
        RaiseSystemError(EACCES, name);
    if (waveFormat.nBlockAlign == 0 || waveFormat.nSamplesPerSec == 0 || framesPerBuffer < 1)
        RaiseSystemError(EINVAL, name);
    auto run = std::make_unique<TRun>();
    run->Device = device;
    run->PinId = connect.PinId;
    run->IsRender = forWriting;
    run->IsRealtime = connect.Interface.Id == KSINTERFACE_STANDARD_LOOPED_STREAMING;
    run->Format = waveFormat;
    run->FramesPerSecond = static_cast<long double>(waveFormat.nSamplesPerSec) * clockRatio;
    const THandle pin = nextHandle_++;
    runs_[pin] = std::move(run);
    return pin;
}

void TSimPlatform::ClosePin(THandle pin) noexcept {
    std::lock_guard lock(mutex_);
    runs_.erase(pin);
}

TSimPlatform::TRun* TSimPlatform::FindRun(THandle pin) const {
    auto it = runs_.find(pin);
    return it == runs_.end() ? nullptr : it->second.get();
}

TSimPlatform::TRun& TSimPlatform::CheckedRun(THandle pin) const {
    TRun* run = FindRun(pin);
    if (!run)
        RaiseSystemError(EBADF, "pin " + std::to_string(pin));
    return *run;
}

THandle TSimPlatform::CreateEvent() { return events_.Create(); }

void TSimPlatform::CloseEvent(THandle event) noexcept { events_.Close(event); }

void TSimPlatform::SetEvent(THandle event) { events_.Set(event); }

void TSimPlatform::ResetEvent(THandle event) { events_.Reset(event); }

uint64_t TSimPlatform::XrunCount(THandle pin) const {
    std::lock_guard lock(mutex_);
    const TRun* run = FindRun(pin);
    return run ? run->Xruns : 0;
}

} // namespace sonari
