#include "SimTestPlatform.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

namespace sonari::test {

namespace {

const TSimPinFaults kNoPinFaults;

// The answer record with another channel count, width or layout, as an odd driver gives it.
void Reshape(const TSimPinFaults& faults, TDataFormat& dataFormat, TWaveFormatExtensible& f) {
    if (faults.AnswerChannels > 0)
        f.nChannels = static_cast<uint16_t>(faults.AnswerChannels);
    if (faults.AnswerBits > 0)
        f.wBitsPerSample = f.wValidBitsPerSample = static_cast<uint16_t>(faults.AnswerBits);
    f.nBlockAlign = static_cast<uint16_t>(f.nChannels * f.wBitsPerSample / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    if (faults.AnswerPlainPcm) { // the extensible part is beyond the answer's size
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.cbSize = 0;
        dataFormat.FormatSize = 64 + kWaveFormatExSize;
    }
}

} // namespace

TSimPinFaults& TSimTestPlatform::Faults(size_t device, uint32_t pinId) {
    std::lock_guard lock(mutex_);
    return pinFaults_[{device, pinId}];
}

TSimDeviceFaults& TSimTestPlatform::DeviceFaults(size_t device) {
    std::lock_guard lock(mutex_);
    return deviceFaults_[device];
}

void TSimTestPlatform::RemoveDevice(size_t device) {
    lost_.at(device) = true;
    WakeWaiters();
}

int TSimTestPlatform::OpenCount(size_t device) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(openFilters_.begin(), openFilters_.end(),
                                          [&](const auto& open) { return open.second == device; }));
}

int TSimTestPlatform::TotalOpenCount(size_t device) const {
    std::lock_guard lock(mutex_);
    auto it = totalOpens_.find(device);
    return it == totalOpens_.end() ? 0 : it->second;
}

bool TSimTestPlatform::PinCreated(size_t device, uint32_t pinId) const {
    std::lock_guard lock(mutex_);
    return std::any_of(createdPins_.begin(), createdPins_.end(), [&](const auto& created) {
        return created.second == std::pair(device, pinId);
    });
}

int TSimTestPlatform::OpenEventCount() const {
    std::lock_guard lock(mutex_);
    return openEvents_;
}

void TSimTestPlatform::Raise(int error, size_t device) const {
    if (error != 0)
        RaiseSystemError(error, DeviceName(device));
}

size_t TSimTestPlatform::Device(THandle filter) const {
    const std::optional<size_t> device = DeviceOfFilter(filter);
    if (!device)
        RaiseSystemError(EBADF, "filter " + std::to_string(filter));
    return *device;
}

const TSimPinFaults& TSimTestPlatform::PinFaults(THandle pin) const {
    const auto owner = PinOfHandle(pin);
    std::lock_guard lock(mutex_);
    auto it = owner ? pinFaults_.find(*owner) : pinFaults_.end();
    return it == pinFaults_.end() ? kNoPinFaults : it->second;
}

void TSimTestPlatform::Load() {
    if (LoadFails)
        RaiseSystemError(ENOENT, "the simulated driver library");
    TSimPlatform::Load();
}

bool TSimTestPlatform::EnumDeviceInterface(uint32_t index, TDeviceInterface& device) {
    if (static_cast<int64_t>(index) == EnumerationFailsAt)
        RaiseSystemError(EIO, "device interfaces");
    if (!TSimPlatform::EnumDeviceInterface(index, device))
        return false;
    std::lock_guard lock(mutex_);
    const TSimDeviceFaults& faults = deviceFaults_[index];
    device.PathFound = !faults.PathMissing;
    device.NameFound = !faults.NameMissing;
    return true;
}

THandle TSimTestPlatform::OpenFilter(const std::string& path) {
    if (const std::optional<size_t> device = DeviceOfPath(path)) {
        if (lost_.at(*device))
            Raise(ENODEV, *device);
        if (DeviceFaults(*device).OpenFails)
            Raise(EACCES, *device);
    }
    const THandle filter = TSimPlatform::OpenFilter(path);
    const size_t device = *DeviceOfFilter(filter);
    std::lock_guard lock(mutex_);
    openFilters_[filter] = device;
    ++totalOpens_[device];
    return filter;
}

// Handles are never reused: the counters may forget one after the platform closed it.
void TSimTestPlatform::CloseFilter(THandle filter) noexcept {
    TSimPlatform::CloseFilter(filter);
    std::lock_guard lock(mutex_);
    openFilters_.erase(filter);
}

uint32_t TSimTestPlatform::PinCount(THandle filter) {
    const size_t device = Device(filter);
    if (DeviceFaults(device).PinCountFails)
        Raise(EIO, device);
    return TSimPlatform::PinCount(filter);
}

uint32_t TSimTestPlatform::PinInstanceCount(THandle filter, uint32_t pinId) {
    if (Faults(Device(filter), pinId).InstanceCountFails)
        RaiseSystemError(EIO, "pin property");
    return TSimPlatform::PinInstanceCount(filter, pinId);
}

void TSimTestPlatform::DataIntersection(THandle filter, uint32_t pinId,
                                        const std::vector<TDataRange>& ranges,
                                        TDataFormat& dataFormat,
                                        TWaveFormatExtensible& waveFormat) {
    const size_t device = Device(filter);
    LastIntersectionRequest = ranges;
    const TSimPinFaults& faults = Faults(device, pinId);
    Raise(faults.IntersectionError, device);
    if (faults.AnswerBits > 0) {
        // A driver that insists on its own width answers whatever range it was asked.
        std::vector<TDataRange> widened = ranges;
        for (TDataRange& range : widened) {
            range.MinBits = 0;
            range.MaxBits = 32;
        }
        TSimPlatform::DataIntersection(filter, pinId, widened, dataFormat, waveFormat);
    } else {
        TSimPlatform::DataIntersection(filter, pinId, ranges, dataFormat, waveFormat);
    }
    Reshape(faults, dataFormat, waveFormat);
}

THandle TSimTestPlatform::CreatePin(THandle filter, const TPinConnect& connect,
                                    const TDataFormat& dataFormat,
                                    const TWaveFormatExtensible& waveFormat, bool forWriting,
                                    int32_t framesPerBuffer) {
    const size_t device = Device(filter);
    if (lost_.at(device))
        Raise(ENODEV, device);
    Raise(Faults(device, connect.PinId).CreateError, device);
    const THandle pin = TSimPlatform::CreatePin(filter, connect, dataFormat, waveFormat, forWriting,
                                                framesPerBuffer);
    std::lock_guard lock(mutex_);
    createdPins_[pin] = {device, connect.PinId};
    return pin;
}

void TSimTestPlatform::ClosePin(THandle pin) noexcept {
    TSimPlatform::ClosePin(pin);
    std::lock_guard lock(mutex_);
    createdPins_.erase(pin);
}

void TSimTestPlatform::SetPinState(THandle pin, TKsState state) {
    const auto owner = PinOfHandle(pin);
    if (owner && lost_.at(owner->first))
        Raise(ENODEV, owner->first);
    if (owner && state == ksRun)
        Raise(PinFaults(pin).RunError, owner->first);
    TSimPlatform::SetPinState(pin, state);
}

void TSimTestPlatform::ReadStream(THandle pin, uint8_t* data, size_t bytes, THandle event) {
    if (const auto owner = PinOfHandle(pin))
        Raise(lost_.at(owner->first) ? ENODEV : PinFaults(pin).ReadError, owner->first);
    TSimPlatform::ReadStream(pin, data, bytes, event);
}

void TSimTestPlatform::WriteStream(THandle pin, uint8_t* data, size_t bytes, THandle event) {
    if (const auto owner = PinOfHandle(pin))
        Raise(lost_.at(owner->first) ? ENODEV : PinFaults(pin).WriteError, owner->first);
    TSimPlatform::WriteStream(pin, data, bytes, event);
}

TRtAudioBuffer TSimTestPlatform::RtBuffer(THandle pin, uint32_t requestedBytes,
                                          uint32_t notificationCount) {
    const TSimPinFaults& faults = PinFaults(pin);
    TRtAudioBuffer buffer = TSimPlatform::RtBuffer(pin, requestedBytes, notificationCount);
    buffer.ActualBufferSize -= std::min(buffer.ActualBufferSize, faults.RtBufferShortfall);
    return buffer;
}

THandle TSimTestPlatform::CreateEvent() {
    {
        std::lock_guard lock(mutex_);
        if (EventsLeft == 0)
            RaiseSystemError(EMFILE, "events");
    }
    const THandle event = TSimPlatform::CreateEvent();
    std::lock_guard lock(mutex_);
    EventsLeft -= EventsLeft > 0 ? 1 : 0;
    ++openEvents_;
    return event;
}

void TSimTestPlatform::CloseEvent(THandle event) noexcept {
    TSimPlatform::CloseEvent(event);
    std::lock_guard lock(mutex_);
    openEvents_ -= event != 0 ? 1 : 0;
}

size_t TSimTestPlatform::WaitForAny(const THandle* events, size_t count) {
    if (WaitFails)
        RaiseSystemError(EIO, "wait");
    return TSimPlatform::WaitForAny(events, count);
}

bool TSimTestPlatform::DeviceLost(size_t device) const { return lost_.at(device); }

long double TSimTestPlatform::ClockRatio(size_t device, uint32_t pinId) const {
    std::lock_guard lock(mutex_);
    auto it = pinFaults_.find({device, pinId});
    return it == pinFaults_.end() ? 1.0L : it->second.ClockRatio;
}

} // namespace sonari::test
