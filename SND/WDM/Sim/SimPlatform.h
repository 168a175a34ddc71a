#pragma once

#include "SND/SndTypes.h"
#include "SND/WDM/AudioPlatform.h"
#include "SND/WDM/PlatformEvents.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sonari {

// Fills a block [channels][frames] on the 32-bit scale with the device frames from `firstFrame`.
using TSimSource =
    std::function<void(int64_t firstFrame, int32_t samplingRate, TDataBufferF& block)>;
// Receives a block [channels][frames] the device plays, starting at device frame `firstFrame`.
using TSimSink =
    std::function<void(int64_t firstFrame, int32_t samplingRate, const TDataBufferF& block)>;

// One pin of a simulated device, as its driver describes it.
struct TSimPin {
    TPinDataFlow DataFlow = dfOut; // dfIn renders, dfOut captures
    TPinCommunication Communication = pcSink;
    std::vector<TKsIdentifier> Interfaces = {
        {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0}};
    std::vector<TKsIdentifier> Mediums = {{KSMEDIUMSETID_Standard, 0, 0}};
    std::vector<TDataRange> Ranges; // the driver answers the widest width inside the request

    TSimSource Source; // capture pins; silence when empty
    TSimSink Sink;     // render pins
};

// A simulated device as the device registry and its driver describe it.
struct TSimDevice {
    std::string FriendlyName;
    std::string Path; // "sim:<interface number>" when empty
    TInterfaceAlias Render = iaNone;
    TInterfaceAlias Capture = iaNone;
    TInterfaceAlias Realtime = iaNone;
    std::vector<TSimPin> Pins;
};

// A capture or render pin with one PCM range; real-time devices take looped streaming.
TSimPin SimPin(bool isRender, int32_t maxChannels, int32_t minBits, int32_t maxBits,
               int32_t minRate, int32_t maxRate);
// A device registered for the directions of its pins.
TSimDevice SimDevice(const std::string& friendlyName, std::vector<TSimPin> pins,
                     bool isRealtime = false);

// Deterministic devices for demonstrations without sound hardware and for the layer's tests.
// Time is virtual: driven by hand (Advance), jumping from one device event to the next as fast
// as the streaming thread follows (accelerated), or following the real clock. Sources and sinks
// run under the platform's lock, in whichever thread moves the clock. The devices never fail;
// tests derive from this class to plant faults (the protected hooks).
class TSimPlatform : public IAudioPlatform {
public:
    enum TClock { scManual, scAccelerated, scRealTime };

    explicit TSimPlatform(TClock clock = scManual);
    ~TSimPlatform() override;

    // Device descriptions: add them before the device list is built.
    size_t AddDevice(TSimDevice described);
    void SetSource(size_t device, uint32_t pinId, TSimSource source);
    void SetSink(size_t device, uint32_t pinId, TSimSink sink);

    // Manual clock: moves virtual time on, completing whatever falls due on the way.
    void Advance(std::chrono::nanoseconds duration);
    int64_t NowNs() const;
    // Some thread waits and none of the events it waits for is signalled: with the manual clock
    // nothing will happen until the next Advance.
    bool WaiterIdle() const;

    void Load() override;
    bool EnumDeviceInterface(uint32_t index, TDeviceInterface& device) override;
    THandle OpenFilter(const std::string& path) override;
    void CloseFilter(THandle filter) noexcept override;
    uint32_t PinCount(THandle filter) override;
    TPinCommunication PinCommunication(THandle filter, uint32_t pinId) override;
    std::vector<TKsIdentifier> PinInterfaces(THandle filter, uint32_t pinId) override;
    std::vector<TKsIdentifier> PinMediums(THandle filter, uint32_t pinId) override;
    std::vector<TDataRange> PinDataRanges(THandle filter, uint32_t pinId) override;
    TPinDataFlow PinDataFlow(THandle filter, uint32_t pinId) override;
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
    void RegisterNotificationEvent(THandle pin, THandle event) override;
    void UnregisterNotificationEvent(THandle pin, THandle event) override;
    TAudioPosition Position(THandle pin) override;
    THandle CreateEvent() override;
    void CloseEvent(THandle event) noexcept override;
    void SetEvent(THandle event) override;
    void ResetEvent(THandle event) override;
    size_t WaitForAny(const THandle* events, size_t count) override;
    uint64_t XrunCount(THandle pin) const override;
    double DelayFrames(THandle pin) const override;

protected:
    // The device has vanished: its I/O stops and waits that depend on it raise EDeviceLost.
    // Called under the platform's lock; call WakeWaiters after the answer changed.
    virtual bool DeviceLost(size_t) const { return false; }
    // The rate of the pin's device clock against its nominal rate, read when the pin is created.
    virtual long double ClockRatio(size_t, uint32_t) const { return 1.0L; }
    void WakeWaiters();
    // The pin's device clock stands still for `duration` from now (a late or stuck device).
    void StallClock(size_t device, uint32_t pinId, std::chrono::nanoseconds duration);
    // What a handle or path belongs to; nothing when it is not open or not known.
    std::optional<size_t> DeviceOfPath(const std::string& path) const;
    std::optional<size_t> DeviceOfFilter(THandle filter) const;
    std::optional<std::pair<size_t, uint32_t>> PinOfHandle(THandle pin) const;
    const std::string& DeviceName(size_t device) const;

private:
    struct TRequest {
        uint8_t* Data;
        size_t Bytes;
        THandle Event;
        int64_t QueuedNs;
    };
    // Requests queued on a pin, oldest first; fixed room, so queuing allocates nothing.
    struct TRequestQueue {
        std::array<TRequest, 8> Items{};
        size_t Head = 0;
        size_t Count = 0;
        bool empty() const { return Count == 0; }
        size_t size() const { return Count; }
        const TRequest& at(size_t i) const { return Items[(Head + i) % Items.size()]; }
        const TRequest& front() const { return at(0); }
        bool push_back(const TRequest& request) {
            if (Count == Items.size())
                return false;
            Items[(Head + Count++) % Items.size()] = request;
            return true;
        }
        void pop_front() {
            Head = (Head + 1) % Items.size();
            --Count;
        }
        void clear() { Count = 0; }
    };
    // A created pin and its device clock: Frame(t) = BaseFrame + floor((t - OriginNs) * rate /
    // 1e9).
    struct TRun {
        size_t Device = 0;
        uint32_t PinId = 0;
        bool IsRender = false;
        bool IsRealtime = false;
        TWaveFormatExtensible Format{};
        long double FramesPerSecond = 0; // the device clock: nominal rate times ClockRatio
        TKsState State = ksStop;
        int64_t OriginNs = 0;
        int64_t BaseFrame = 0;
        TRequestQueue Queue;
        int64_t HeadSinceNs = 0; // when the head request became the head
        int64_t HeadStart = 0;   // device frame where the head request starts
        int64_t Cursor = 0;      // capture: next frame to deliver; render: where the next starts
        bool Primed = false;     // a buffer went through since the last run, so gaps are xruns
        int64_t StartFrame = 0;  // frame at which the device last started running
        TByteArray Cyclic;
        THandle Notify = 0;
        int64_t Halves = 0; // cyclic-buffer halves completed
        uint64_t Xruns = 0;
        TDataBufferF Block;
        TByteArray Bytes;

        int64_t Frame(int64_t nowNs) const;
        int64_t TimeOfFrame(int64_t frame) const;
        int64_t HalfFrames() const;
        void BecomeHead(int64_t sinceNs);
    };
    struct TWaiter {
        const THandle* Events;
        size_t Count;
    };

    const TSimPin& CheckedPin(THandle filter, uint32_t pinId);
    TRun& CheckedRun(THandle pin) const;
    TRun* FindRun(THandle pin) const;
    void QueueRequest(THandle pin, uint8_t* data, size_t bytes, THandle event, bool isWrite);

    int64_t ClockNowLocked() const;
    int64_t DueLocked(const TRun& run) const;
    void CompleteLocked(TRun& run);
    void CompleteQueuedLocked(TRun& run, int64_t dueNs);
    void CompleteRealtimeLocked(TRun& run);
    void PlayLocked(TRun& run, int64_t firstFrame, const uint8_t* data, size_t bytes);
    void RecordLocked(TRun& run, int64_t firstFrame, uint8_t* data, size_t bytes);
    void ProcessDueLocked(int64_t nowNs);
    int64_t NextDueLocked() const;
    void ThrowIfLostLocked(const THandle* events, size_t count) const;
    void WaitForProgressLocked(std::unique_lock<std::mutex>& lock, const THandle* events,
                               size_t count);

    const TClock clock_;
    const std::chrono::steady_clock::time_point epoch_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    TEventTable events_;
    std::vector<TSimDevice> devices_;
    std::vector<bool> open_;            // opened without sharing
    std::map<THandle, size_t> filters_; // open filter -> device
    std::map<THandle, std::unique_ptr<TRun>> runs_;
    std::vector<TWaiter> waiters_; // threads blocked in WaitForAny
    THandle nextHandle_ = 1;
    int64_t virtualNs_ = 0;
};

} // namespace sonari
