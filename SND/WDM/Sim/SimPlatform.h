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
#include <string>
#include <vector>

namespace sonari {

// Fills a block [channels][frames] on the 32-bit scale with the device frames from `firstFrame`.
using TSimSource =
    std::function<void(int64_t firstFrame, int32_t samplingRate, TDataBufferF& block)>;
// Receives a block [channels][frames] the device plays, starting at device frame `firstFrame`.
using TSimSink =
    std::function<void(int64_t firstFrame, int32_t samplingRate, const TDataBufferF& block)>;

// Pin properties a test can make fail.
enum TSimQuery { sqCommunication, sqInterfaces, sqMediums, sqDataRanges, sqDataFlow, sqInstances };

// One pin of a simulated device: what its driver reports, how it answers and where it fails.
// Error fields hold the platform error code to return (0 = no fault).
struct TSimPin {
    TPinDataFlow DataFlow = dfOut; // dfIn renders, dfOut captures
    TPinCommunication Communication = pcSink;
    std::vector<TKsIdentifier> Interfaces = {
        {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0}};
    std::vector<TKsIdentifier> Mediums = {{KSMEDIUMSETID_Standard, 0, 0}};
    std::vector<TDataRange> Ranges;

    int32_t AnswerChannels = 0;  // > 0: the driver answers this channel count, whatever was asked
    int32_t AnswerBits = 0;      // > 0: the driver answers this sample width
    bool AnswerPlainPcm = false; // the driver answers a plain PCM record
    double ClockRatio = 1.0;     // the device clock against its nominal rate

    std::vector<TSimQuery> FailingQueries;
    int IntersectionError = 0;
    int CreateError = 0;
    int PauseError = 0;
    int RunError = 0;
    int StopError = 0;
    int ReadError = 0;
    int WriteError = 0;
    bool RtBufferFails = false;
    uint32_t RtBufferShortfall = 0; // bytes the driver grants less than asked
    bool PositionFails = false;

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
    bool PathMissing = false;
    bool NameMissing = false;
    bool OpenFails = false;
    bool PinCountFails = false;
    std::vector<TSimPin> Pins;
};

// A capture or render pin with one PCM range; real-time devices take looped streaming.
TSimPin SimPin(bool isRender, int32_t maxChannels, int32_t minBits, int32_t maxBits,
               int32_t minRate, int32_t maxRate);
// A device registered for the directions of its pins.
TSimDevice SimDevice(const std::string& friendlyName, std::vector<TSimPin> pins,
                     bool isRealtime = false);

// Deterministic devices for the layer's tests and for demonstrations without sound hardware.
// Time is virtual: driven by hand (Advance), jumping from one device event to the next as fast
// as the streaming thread follows (accelerated), or following the real clock. Sources and sinks
// run under the platform's lock, in whichever thread moves the clock.
class TSimPlatform : public IAudioPlatform {
public:
    enum TClock { scManual, scAccelerated, scRealTime };

    explicit TSimPlatform(TClock clock = scManual);
    ~TSimPlatform() override;

    // Device descriptions: add them before the device list is built; faults may change between
    // runs.
    size_t AddDevice(TSimDevice described);
    TSimDevice& Device(size_t device);
    TSimPin& Pin(size_t device, uint32_t pinId);
    void SetSource(size_t device, uint32_t pinId, TSimSource source);
    void SetSink(size_t device, uint32_t pinId, TSimSink sink);
    bool LoadFails = false;
    int64_t EnumerationFailsAt = -1; // interface number whose enumeration raises
    bool WaitFails = false;
    std::vector<TDataRange> LastIntersectionRequest; // what the last data intersection asked

    // Manual clock: moves virtual time on, completing whatever falls due on the way.
    void Advance(std::chrono::nanoseconds duration);
    int64_t NowNs() const;
    // Some thread waits and none of the events it waits for is signalled: with the manual clock
    // nothing will happen until the next Advance.
    bool WaiterIdle() const;

    // The device vanishes: opens fail, queued I/O and waits on it raise.
    void RemoveDevice(size_t device);
    // The device's clock stands still for `duration` from now (a late or stuck device).
    void Stall(size_t device, uint32_t pinId, std::chrono::nanoseconds duration);

    // Observations for tests.
    int OpenCount(size_t device) const;      // open handles of the device now
    int TotalOpenCount(size_t device) const; // opens since creation, scanning included
    bool PinCreated(size_t device, uint32_t pinId) const;
    TKsState PinState(size_t device, uint32_t pinId) const;

    bool Load() override;
    bool EnumDeviceInterface(uint32_t index, TDeviceInterface& device) override;
    THandle OpenFilter(const std::string& path, int& error) override;
    void CloseFilter(THandle filter) override;
    uint32_t PinCount(THandle filter) override;
    TPinCommunication PinCommunication(THandle filter, uint32_t pinId) override;
    std::vector<TKsIdentifier> PinInterfaces(THandle filter, uint32_t pinId) override;
    std::vector<TKsIdentifier> PinMediums(THandle filter, uint32_t pinId) override;
    std::vector<TDataRange> PinDataRanges(THandle filter, uint32_t pinId) override;
    TPinDataFlow PinDataFlow(THandle filter, uint32_t pinId) override;
    uint32_t PinInstanceCount(THandle filter, uint32_t pinId) override;
    int DataIntersection(THandle filter, uint32_t pinId, const std::vector<TDataRange>& ranges,
                         TDataFormat& dataFormat, TWaveFormatExtensible& waveFormat) override;
    int CreatePin(THandle filter, const TPinConnect& connect, const TDataFormat& dataFormat,
                  const TWaveFormatExtensible& waveFormat, bool forWriting, int32_t framesPerBuffer,
                  THandle& pin) override;
    void ClosePin(THandle pin) override;
    int SetPinState(THandle pin, TKsState state) override;
    int ReadStream(THandle pin, uint8_t* data, size_t bytes, THandle event) override;
    int WriteStream(THandle pin, uint8_t* data, size_t bytes, THandle event) override;
    TRtAudioBuffer RtBuffer(THandle pin, uint32_t requestedBytes,
                            uint32_t notificationCount) override;
    void RegisterNotificationEvent(THandle pin, THandle event) override;
    void UnregisterNotificationEvent(THandle pin, THandle event) override;
    TAudioPosition Position(THandle pin) override;
    THandle CreateEvent() override;
    void CloseEvent(THandle event) override;
    void SetEvent(THandle event) override;
    void ResetEvent(THandle event) override;
    int WaitForAny(const THandle* events, size_t count) override;
    uint64_t XrunCount(THandle pin) const override;

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

    const TSimPin& CheckedPin(THandle filter, uint32_t pinId, TSimQuery query);
    TRun* FindRun(THandle pin) const;
    int QueueRequest(THandle pin, uint8_t* data, size_t bytes, THandle event, bool isWrite);

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
    std::vector<bool> removed_;
    std::vector<int> openHandles_;
    std::vector<int> totalOpens_;
    std::map<THandle, size_t> filters_; // open filter -> device
    std::map<THandle, std::unique_ptr<TRun>> runs_;
    std::vector<TWaiter> waiters_; // threads blocked in WaitForAny
    THandle nextHandle_ = 1;
    int64_t virtualNs_ = 0;
};

} // namespace sonari
