#include "SND/WDM/Sim/SimPlatform.h"

#include "SND/Exceptions.h"
#include "SND/WDM/WdmPins.h"

#include <algorithm>
#include <cerrno>

namespace sonari {

namespace {

bool IsPcmAudio(const TDataRange& range) {
    return range.MajorFormat == KSDATAFORMAT_TYPE_AUDIO &&
           range.SubFormat == KSDATAFORMAT_SUBTYPE_PCM &&
           range.Specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
}

// The widest container width inside both ranges, as a driver that prefers resolution picks it.
int PickWidth(const TDataRange& request, const TDataRange& offered) {
    const int32_t lo = std::max(request.MinBits, offered.MinBits);
    const int32_t hi = std::min(request.MaxBits, offered.MaxBits);
    for (int bits : {32, 24, 16, 8})
        if (lo <= bits && bits <= hi)
            return bits;
    return 0;
}

TWaveFormatExtensible Answer(int channels, int rate, int bits, bool plain) {
    TWaveFormatExtensible f{};
    f.wFormatTag = plain ? WAVE_FORMAT_PCM : WAVE_FORMAT_EXTENSIBLE;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = static_cast<uint32_t>(rate);
    f.wBitsPerSample = static_cast<uint16_t>(bits);
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    if (!plain) {
        f.cbSize = kExtensibleExtraSize;
        f.wValidBitsPerSample = static_cast<uint16_t>(bits);
        f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
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
    : clock_(clock), epoch_(std::chrono::steady_clock::now()), events_([this] {
          { std::lock_guard lock(mutex_); }
          wake_.notify_all();
      }) {}

TSimPlatform::~TSimPlatform() = default;

size_t TSimPlatform::AddDevice(TSimDevice described) {
    std::lock_guard lock(mutex_);
    if (described.Path.empty())
        described.Path = "sim:" + std::to_string(devices_.size());
    devices_.push_back(std::move(described));
    removed_.push_back(false);
    openHandles_.push_back(0);
    totalOpens_.push_back(0);
    return devices_.size() - 1;
}

TSimDevice& TSimPlatform::Device(size_t device) { return devices_.at(device); }

TSimPin& TSimPlatform::Pin(size_t device, uint32_t pinId) {
    return devices_.at(device).Pins.at(pinId);
}

void TSimPlatform::SetSource(size_t device, uint32_t pinId, TSimSource source) {
    std::lock_guard lock(mutex_);
    Pin(device, pinId).Source = std::move(source);
}

void TSimPlatform::SetSink(size_t device, uint32_t pinId, TSimSink sink) {
    std::lock_guard lock(mutex_);
    Pin(device, pinId).Sink = std::move(sink);
}

void TSimPlatform::RemoveDevice(size_t device) {
    {
        std::lock_guard lock(mutex_);
        removed_.at(device) = true;
    }
    wake_.notify_all();
}

int TSimPlatform::OpenCount(size_t device) const {
    std::lock_guard lock(mutex_);
    return openHandles_.at(device);
}

int TSimPlatform::TotalOpenCount(size_t device) const {
    std::lock_guard lock(mutex_);
    return totalOpens_.at(device);
}

bool TSimPlatform::PinCreated(size_t device, uint32_t pinId) const {
    std::lock_guard lock(mutex_);
    return std::any_of(runs_.begin(), runs_.end(), [&](const auto& entry) {
        return entry.second->Device == device && entry.second->PinId == pinId;
    });
}

TKsState TSimPlatform::PinState(size_t device, uint32_t pinId) const {
    std::lock_guard lock(mutex_);
    for (const auto& [handle, run] : runs_)
        if (run->Device == device && run->PinId == pinId)
            return run->State;
    return ksStop;
}

bool TSimPlatform::Load() { return !LoadFails; }

bool TSimPlatform::EnumDeviceInterface(uint32_t index, TDeviceInterface& device) {
    std::lock_guard lock(mutex_);
    if (static_cast<int64_t>(index) == EnumerationFailsAt)
        throw EOSError(EIO, "Input/output error");
    if (index >= devices_.size())
        return false;
    const TSimDevice& described = devices_[index];
    device.Render = described.Render;
    device.Capture = described.Capture;
    device.Realtime = described.Realtime;
    device.PathFound = !described.PathMissing;
    device.Path = described.Path;
    device.NameFound = !described.NameMissing;
    device.FriendlyName = described.FriendlyName;
    return true;
}

THandle TSimPlatform::OpenFilter(const std::string& path, int& error) {
    std::lock_guard lock(mutex_);
    for (size_t d = 0; d < devices_.size(); ++d) {
        if (devices_[d].Path != path)
            continue;
        error = removed_[d] ? ENODEV : devices_[d].OpenFails ? EACCES : 0;
        if (error == 0 && openHandles_[d] > 0)
            error = EBUSY; // opened without sharing
        if (error != 0)
            return kClosedHandle;
        ++openHandles_[d];
        ++totalOpens_[d];
        filters_[nextHandle_] = d;
        return nextHandle_++;
    }
    error = ENOENT;
    return kClosedHandle;
}

void TSimPlatform::CloseFilter(THandle filter) {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        return;
    --openHandles_[it->second];
    filters_.erase(it);
}

uint32_t TSimPlatform::PinCount(THandle filter) {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        throw EOSError(EBADF, "Bad file descriptor");
    const TSimDevice& device = devices_[it->second];
    if (device.PinCountFails)
        throw EOSError(EIO, "Input/output error");
    return static_cast<uint32_t>(device.Pins.size());
}

const TSimPin& TSimPlatform::CheckedPin(THandle filter, uint32_t pinId, TSimQuery query) {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        throw EOSError(EBADF, "Bad file descriptor");
    const TSimDevice& device = devices_[it->second];
    if (pinId >= device.Pins.size())
        throw EOSError(EINVAL, "Invalid argument");
    const TSimPin& pin = device.Pins[pinId];
    const auto& failing = pin.FailingQueries;
    if (std::find(failing.begin(), failing.end(), query) != failing.end())
        throw EOSError(EIO, "Input/output error");
    return pin;
}

TPinCommunication TSimPlatform::PinCommunication(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId, sqCommunication).Communication;
}

std::vector<TKsIdentifier> TSimPlatform::PinInterfaces(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId, sqInterfaces).Interfaces;
}

std::vector<TKsIdentifier> TSimPlatform::PinMediums(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId, sqMediums).Mediums;
}

std::vector<TDataRange> TSimPlatform::PinDataRanges(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId, sqDataRanges).Ranges;
}

TPinDataFlow TSimPlatform::PinDataFlow(THandle filter, uint32_t pinId) {
    return CheckedPin(filter, pinId, sqDataFlow).DataFlow;
}

uint32_t TSimPlatform::PinInstanceCount(THandle filter, uint32_t pinId) {
    CheckedPin(filter, pinId, sqInstances);
    return 1;
}

int TSimPlatform::DataIntersection(THandle filter, uint32_t pinId,
                                   const std::vector<TDataRange>& ranges, TDataFormat& dataFormat,
                                   TWaveFormatExtensible& waveFormat) {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end() || pinId >= devices_[it->second].Pins.size())
        return EBADF;
    const TSimPin& pin = devices_[it->second].Pins[pinId];
    LastIntersectionRequest = ranges;
    if (pin.IntersectionError != 0)
        return pin.IntersectionError;
    for (const TDataRange& request : ranges) {
        for (const TDataRange& offered : pin.Ranges) {
            if (!IsPcmAudio(offered) || request.MinRate < offered.MinRate ||
                request.MinRate > offered.MaxRate)
                continue;
            const int channels = std::min(request.MaxChannels, offered.MaxChannels);
            const int bits = pin.AnswerBits > 0 ? pin.AnswerBits : PickWidth(request, offered);
            if (channels < 1 || bits == 0)
                continue;
            waveFormat = Answer(pin.AnswerChannels > 0 ? pin.AnswerChannels : channels,
                                request.MinRate, bits, pin.AnswerPlainPcm);
            dataFormat = TDataFormat{};
            dataFormat.FormatSize =
                64 + (pin.AnswerPlainPcm ? kWaveFormatExSize : sizeof(TWaveFormatExtensible));
            dataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
            dataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
            dataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
            return 0;
        }
    }
    return EINVAL;
}

int TSimPlatform::CreatePin(THandle filter, const TPinConnect& connect, const TDataFormat&,
                            const TWaveFormatExtensible& waveFormat, bool forWriting,
                            int32_t framesPerBuffer, THandle& pin) {
    std::lock_guard lock(mutex_);
    auto it = filters_.find(filter);
    if (it == filters_.end())
        return EBADF;
    const size_t device = it->second;
    if (removed_[device])
        return ENODEV;
    if (connect.PinId >= devices_[device].Pins.size())
        return EINVAL;
    const TSimPin& described = devices_[device].Pins[connect.PinId];
    if (described.CreateError != 0)
        return described.CreateError;
    for (const auto& [handle, run] : runs_)
        if (run->Device == device && run->PinId == connect.PinId)
            return kPinBusyError;
    if (forWriting != (described.DataFlow == dfIn))
        return EACCES;
    if (waveFormat.nBlockAlign == 0 || waveFormat.nSamplesPerSec == 0 || framesPerBuffer < 1)
        return EINVAL;
    auto run = std::make_unique<TRun>();
    run->Device = device;
    run->PinId = connect.PinId;
    run->IsRender = forWriting;
    run->IsRealtime = connect.Interface.Id == KSINTERFACE_STANDARD_LOOPED_STREAMING;
    run->Format = waveFormat;
    run->FramesPerSecond =
        static_cast<long double>(waveFormat.nSamplesPerSec) * described.ClockRatio;
    pin = nextHandle_++;
    runs_[pin] = std::move(run);
    return 0;
}

void TSimPlatform::ClosePin(THandle pin) {
    std::lock_guard lock(mutex_);
    runs_.erase(pin);
}

TSimPlatform::TRun* TSimPlatform::FindRun(THandle pin) const {
    auto it = runs_.find(pin);
    return it == runs_.end() ? nullptr : it->second.get();
}

THandle TSimPlatform::CreateEvent() { return events_.Create(); }

void TSimPlatform::CloseEvent(THandle event) { events_.Close(event); }

void TSimPlatform::SetEvent(THandle event) { events_.Set(event); }

void TSimPlatform::ResetEvent(THandle event) { events_.Reset(event); }

uint64_t TSimPlatform::XrunCount(THandle pin) const {
    std::lock_guard lock(mutex_);
    const TRun* run = FindRun(pin);
    return run ? run->Xruns : 0;
}

} // namespace sonari
