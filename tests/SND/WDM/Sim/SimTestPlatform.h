#pragma once

#include "SND/WDM/Sim/SimPlatform.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace sonari::test {

// Faults and quirks of one simulated pin's driver. Error fields hold the platform error number to
// raise (0: none).
struct TSimPinFaults {
    bool InstanceCountFails = false;
    int IntersectionError = 0;
    int CreateError = 0;
    int RunError = 0;
    int ReadError = 0;
    int WriteError = 0;
    uint32_t RtBufferShortfall = 0; // bytes the driver grants less than asked
    int32_t AnswerChannels = 0;  // > 0: the driver answers this channel count, whatever was asked
    int32_t AnswerBits = 0;      // > 0: the driver answers this sample width
    bool AnswerPlainPcm = false; // the driver answers a plain PCM record
    long double ClockRatio = 1;  // the device clock against its nominal rate
};

// Faults of one simulated device as the registry and its driver show them.
struct TSimDeviceFaults {
    bool PathMissing = false;
    bool NameMissing = false;
    bool OpenFails = false;
    bool PinCountFails = false;
};

// The simulated devices with faults a test plants and counters it reads. Faults are set between
// runs (the platform's lock orders them before the streaming thread reads them).
class TSimTestPlatform : public TSimPlatform {
public:
    explicit TSimTestPlatform(TClock clock = scManual) : TSimPlatform(clock) {}

    TSimPinFaults& Faults(size_t device, uint32_t pinId);
    TSimDeviceFaults& DeviceFaults(size_t device);
    bool LoadFails = false;
    int64_t EnumerationFailsAt = -1; // interface number whose enumeration raises
    bool WaitFails = false;
    int EventsLeft = -1; // events that can still be created; -1: no limit
    std::vector<TDataRange> LastIntersectionRequest;

    // The device vanishes: opens fail, queued I/O stops and waits that depend on it raise.
    void RemoveDevice(size_t device);
    // A removed device is back (switched on again).
    void RestoreDevice(size_t device) { lost_.at(device) = false; }

    int OpenCount(size_t device) const;      // open handles of the device now
    int TotalOpenCount(size_t device) const; // opens since creation, scanning included
    bool PinCreated(size_t device, uint32_t pinId) const;
    int OpenEventCount() const;

    void Load() override;
    bool EnumDeviceInterface(uint32_t index, TDeviceInterface& device) override;
    THandle OpenFilter(const std::string& path) override;
    void CloseFilter(THandle filter) noexcept override;
    uint32_t PinCount(THandle filter) override;
    uint32_t PinInstanceCount(THandle filter, uint32_t pinId) override;
    void DataIntersection(THandle filter, uint32_t pinId, const std::vector<TDataRange>& ranges,
                          TDataFormat& dataFormat, TWaveFormatExtensible& waveFormat) override;
    THandle CreatePin(THandle filter, const TPinConnect& connect, const TDataFormat& dataFormat,
                      const TWaveFormatExtensible& waveFormat, bool forWriting,
                      int32_t framesPerBuffer) override;
    void ClosePin(THandle pin) noexcept override;
    void SetPinState(THandle pin, TKsState state) override;
    void ReadStream(THandle pin, uint8_t* data, size_t bytes, THandle event) override;
    void WriteStream(THandle pin, uint8_t* data, size_t bytes, THandle event) override;
    TRtAudioBuffer RtBuffer(THandle pin, uint32_t requestedBytes,
                            uint32_t notificationCount) override;
    THandle CreateEvent() override;
    void CloseEvent(THandle event) noexcept override;
    size_t WaitForAny(const THandle* events, size_t count) override;

protected:
    bool DeviceLost(size_t device) const override;
    long double ClockRatio(size_t device, uint32_t pinId) const override;

private:
    // Raises the fault `error` of a device, if any, as the platform would.
    void Raise(int error, size_t device) const;
    size_t Device(THandle filter) const;
    const TSimPinFaults& PinFaults(THandle pin) const;

    mutable std::mutex mutex_; // the counters below; faults are set between runs
    std::map<std::pair<size_t, uint32_t>, TSimPinFaults> pinFaults_;
    std::map<size_t, TSimDeviceFaults> deviceFaults_;
    std::array<std::atomic<bool>, 256> lost_{}; // read under the platform's lock
    std::map<THandle, size_t> openFilters_;
    std::map<size_t, int> totalOpens_;
    std::map<THandle, std::pair<size_t, uint32_t>> createdPins_;
    int openEvents_ = 0;
};

} // namespace sonari::test
