#include "SND/WDM/Sim/SimPlatform.h"

#include "SND/Exceptions.h"
#include "SND/SampleConv.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

// The simulated devices' clocks and I/O: queued buffers complete when their device's clock
// reaches them, cyclic buffers notify at every half.

namespace sonari {

namespace {

constexpr int64_t kNever = INT64_MAX;

void SizeBlock(TDataBufferF& block, size_t channels, size_t frames) {
    block.resize(channels);
    for (TSingleArray& channel : block)
        channel.assign(frames, 0.0f);
}

} // namespace

int64_t TSimPlatform::TRun::Frame(int64_t nowNs) const {
    if (nowNs <= OriginNs)
        return BaseFrame;
    // Multiplying before dividing keeps whole periods exact.
    return BaseFrame +
           static_cast<int64_t>(std::floor(
               static_cast<long double>(nowNs - OriginNs) * FramesPerSecond / 1e9L + 1e-6L));
}

int64_t TSimPlatform::TRun::TimeOfFrame(int64_t frame) const {
    if (frame <= BaseFrame)
        return OriginNs;
    return OriginNs +
           static_cast<int64_t>(std::ceil(
               static_cast<long double>(frame - BaseFrame) * 1e9L / FramesPerSecond - 1e-6L));
}

// Fixed when a request reaches the head, so that a later stall cannot move it.
void TSimPlatform::TRun::BecomeHead(int64_t sinceNs) {
    HeadSinceNs = sinceNs;
    HeadStart = std::max(Cursor, Frame(sinceNs));
}

int64_t TSimPlatform::TRun::HalfFrames() const {
    return static_cast<int64_t>(Cyclic.size() / 2 / Format.nBlockAlign);
}

int64_t TSimPlatform::ClockNowLocked() const {
    if (clock_ != scRealTime)
        return virtualNs_;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                epoch_)
        .count();
}

int64_t TSimPlatform::NowNs() const {
    std::lock_guard lock(mutex_);
    return ClockNowLocked();
}

int64_t TSimPlatform::DueLocked(const TRun& run) const {
    if (run.State != ksRun || DeviceLost(run.Device))
        return kNever;
    if (run.IsRealtime) {
        const int64_t half = run.HalfFrames();
        if (run.Notify == 0 || half == 0)
            return kNever;
        // Render notifies as the device enters a half, capture as it completes one.
        const int64_t boundary = run.IsRender ? run.Halves : run.Halves + 1;
        return run.TimeOfFrame(run.StartFrame + boundary * half);
    }
    if (run.Queue.empty())
        return kNever;
    const int64_t frames = static_cast<int64_t>(run.Queue.front().Bytes / run.Format.nBlockAlign);
    if (run.IsRender) // taken when the device starts playing it
        return std::max(run.HeadSinceNs, run.TimeOfFrame(run.HeadStart));
    return run.TimeOfFrame(run.HeadStart + frames);
}

void TSimPlatform::CompleteLocked(TRun& run) {
    if (run.IsRealtime)
        CompleteRealtimeLocked(run);
    else
        CompleteQueuedLocked(run, DueLocked(run));
}

// The device plays bytes from its frame `firstFrame` on: the sink hears them.
void TSimPlatform::PlayLocked(TRun& run, int64_t firstFrame, const uint8_t* data, size_t bytes) {
    run.Bytes.assign(data, data + bytes);
    SizeBlock(run.Block, run.Format.nChannels, bytes / run.Format.nBlockAlign);
    BytesToFloats(run.Bytes, run.Block, run.Format);
    const TSimPin& described = devices_[run.Device].Pins[run.PinId];
    if (described.Sink)
        described.Sink(firstFrame, static_cast<int32_t>(run.Format.nSamplesPerSec), run.Block);
}

// The device records the source's frames from `firstFrame` on into bytes.
void TSimPlatform::RecordLocked(TRun& run, int64_t firstFrame, uint8_t* data, size_t bytes) {
    SizeBlock(run.Block, run.Format.nChannels, bytes / run.Format.nBlockAlign);
    const TSimPin& described = devices_[run.Device].Pins[run.PinId];
    if (described.Source)
        described.Source(firstFrame, static_cast<int32_t>(run.Format.nSamplesPerSec), run.Block);
    run.Bytes.resize(bytes);
    FloatsToBytes(run.Block, run.Bytes, run.Format);
    std::memcpy(data, run.Bytes.data(), bytes);
}

void TSimPlatform::CompleteQueuedLocked(TRun& run, int64_t dueNs) {
    const TRequest request = run.Queue.front();
    const int64_t start = run.HeadStart;
    // A gap: frames captured while no buffer was queued, or a player that ran dry.
    if (run.Primed && start > run.Cursor)
        ++run.Xruns;
    if (run.IsRender)
        PlayLocked(run, start, request.Data, request.Bytes);
    else
        RecordLocked(run, start, request.Data, request.Bytes);
    run.Cursor = start + static_cast<int64_t>(request.Bytes / run.Format.nBlockAlign);
    run.Primed = true;
    run.Queue.pop_front();
    if (!run.Queue.empty())
        run.BecomeHead(std::max(dueNs, run.Queue.front().QueuedNs));
    events_.SetQuiet(request.Event);
}

void TSimPlatform::CompleteRealtimeLocked(TRun& run) {
    const int64_t halfFrames = run.HalfFrames();
    const size_t halfBytes = static_cast<size_t>(halfFrames) * run.Format.nBlockAlign;
    uint8_t* half = run.Cyclic.data() + static_cast<size_t>(run.Halves % 2) * halfBytes;
    const int64_t firstFrame = run.StartFrame + run.Halves * halfFrames;
    if (run.IsRender)
        PlayLocked(run, firstFrame, half, halfBytes);
    else
        RecordLocked(run, firstFrame, half, halfBytes);
    ++run.Halves;
    events_.SetQuiet(run.Notify);
}

void TSimPlatform::ProcessDueLocked(int64_t nowNs) {
    for (auto& [handle, run] : runs_)
        while (DueLocked(*run) <= nowNs)
            CompleteLocked(*run);
}

int64_t TSimPlatform::NextDueLocked() const {
    int64_t next = kNever;
    for (const auto& [handle, run] : runs_)
        next = std::min(next, DueLocked(*run));
    return next;
}

// A vanished device fails the waits that depend on it, as its driver would fail their I/O.
void TSimPlatform::ThrowIfLostLocked(const THandle* events, size_t count) const {
    for (const auto& [handle, run] : runs_) {
        if (!DeviceLost(run->Device))
            continue;
        bool waitedFor = run->Notify != 0 && TEventTable::Contains(events, count, run->Notify);
        for (size_t i = 0; i < run->Queue.size(); ++i)
            waitedFor = waitedFor || TEventTable::Contains(events, count, run->Queue.at(i).Event);
        if (waitedFor)
            throw EDeviceLost(ENODEV,
                              devices_[run->Device].FriendlyName + ": the device was removed");
    }
}

void TSimPlatform::WaitForProgressLocked(std::unique_lock<std::mutex>& lock, const THandle* events,
                                         size_t count) {
    const int64_t next = NextDueLocked();
    if (next != kNever && clock_ == scAccelerated) {
        virtualNs_ = std::max(virtualNs_, next);
        return;
    }
    if (next != kNever && clock_ == scRealTime) {
        wake_.wait_until(lock, epoch_ + std::chrono::nanoseconds(next));
        return;
    }
    waiters_.push_back({events, count});
    wake_.wait(lock);
    waiters_.erase(std::find_if(waiters_.begin(), waiters_.end(),
                                [&](const TWaiter& w) { return w.Events == events; }));
}

size_t TSimPlatform::WaitForAny(const THandle* events, size_t count) {
    std::unique_lock lock(mutex_);
    for (;;) {
        ProcessDueLocked(ClockNowLocked());
        ThrowIfLostLocked(events, count);
        if (const std::optional<size_t> signalled = events_.FirstSet(events, count))
            return *signalled;
        WaitForProgressLocked(lock, events, count);
    }
}

bool TSimPlatform::WaiterIdle() const {
    std::lock_guard lock(mutex_);
    if (waiters_.empty())
        return false;
    for (const TWaiter& waiter : waiters_) {
        try {
            if (events_.FirstSet(waiter.Events, waiter.Count))
                return false;
            ThrowIfLostLocked(waiter.Events, waiter.Count);
        } catch (const EOSError&) {
            return false; // the waiter is about to raise
        }
    }
    return true;
}

void TSimPlatform::Advance(std::chrono::nanoseconds duration) {
    {
        std::lock_guard lock(mutex_);
        const int64_t target = virtualNs_ + duration.count();
        for (int64_t next = NextDueLocked(); next <= target; next = NextDueLocked()) {
            virtualNs_ = std::max(virtualNs_, next);
            ProcessDueLocked(virtualNs_);
        }
        virtualNs_ = target;
    }
    wake_.notify_all();
}

void TSimPlatform::StallClock(size_t device, uint32_t pinId, std::chrono::nanoseconds duration) {
    std::lock_guard lock(mutex_);
    const int64_t now = ClockNowLocked();
    for (auto& [handle, run] : runs_) {
        if (run->Device != device || run->PinId != pinId || run->State != ksRun)
            continue;
        run->BaseFrame = run->Frame(now);
        run->OriginNs = now + duration.count();
    }
}

void TSimPlatform::SetPinState(THandle pin, TKsState state) {
    std::lock_guard lock(mutex_);
    TRun* run = &CheckedRun(pin);
    const int64_t now = ClockNowLocked();
    if (state == ksRun && run->State != ksRun) {
        run->OriginNs = now;
        run->StartFrame = run->BaseFrame;
        run->Cursor = run->BaseFrame;
        run->Halves = 0;
        run->BecomeHead(now);
    } else if (state != ksRun && run->State == ksRun) {
        run->BaseFrame = run->Frame(now);
    }
    if (state == ksStop) {
        run->Queue.clear(); // cancelled
        run->Primed = false;
    }
    run->State = state;
}

void TSimPlatform::QueueRequest(THandle pin, uint8_t* data, size_t bytes, THandle event,
                                bool isWrite) {
    std::lock_guard lock(mutex_);
    TRun& run = CheckedRun(pin);
    const std::string& name = devices_[run.Device].FriendlyName;
    if (run.IsRender != isWrite)
        RaiseSystemError(EBADF, name);
    if (bytes == 0 || bytes % run.Format.nBlockAlign != 0)
        RaiseSystemError(EINVAL, name);
    const int64_t now = ClockNowLocked();
    if (!run.Queue.push_back({data, bytes, event, now}))
        RaiseSystemError(EBUSY, name);
    if (run.Queue.size() == 1)
        run.BecomeHead(now);
}

void TSimPlatform::ReadStream(THandle pin, uint8_t* data, size_t bytes, THandle event) {
    QueueRequest(pin, data, bytes, event, false);
}

void TSimPlatform::WriteStream(THandle pin, uint8_t* data, size_t bytes, THandle event) {
    QueueRequest(pin, data, bytes, event, true);
}

TRtAudioBuffer TSimPlatform::RtBuffer(THandle pin, uint32_t requestedBytes, uint32_t) {
    std::lock_guard lock(mutex_);
    TRun& run = CheckedRun(pin);
    run.Cyclic.assign(requestedBytes, 0);
    return {run.Cyclic.data(), static_cast<uint32_t>(run.Cyclic.size()), false};
}

void TSimPlatform::RegisterNotificationEvent(THandle pin, THandle event) {
    std::lock_guard lock(mutex_);
    CheckedRun(pin).Notify = event;
}

void TSimPlatform::UnregisterNotificationEvent(THandle pin, THandle) {
    std::lock_guard lock(mutex_);
    if (TRun* run = FindRun(pin))
        run->Notify = 0;
}

// Render: what is queued and the rest of what plays; capture: what the head request has taken.
double TSimPlatform::DelayFrames(THandle pin) const {
    std::lock_guard lock(mutex_);
    const TRun* run = FindRun(pin);
    if (!run || run->State != ksRun || run->IsRealtime)
        return -1.0;
    const int64_t now = run->Frame(ClockNowLocked());
    if (!run->IsRender)
        return run->Queue.empty() ? 0.0
                                  : static_cast<double>(std::max<int64_t>(now - run->HeadStart, 0));
    int64_t frames = std::max<int64_t>(run->Cursor - now, 0);
    for (size_t i = 0; i < run->Queue.size(); ++i)
        frames += static_cast<int64_t>(run->Queue.at(i).Bytes / run->Format.nBlockAlign);
    return static_cast<double>(frames);
}

// Render: PlayOffset is where the device plays now. Capture: WriteOffset is the last byte of
// the most recently completed half.
TAudioPosition TSimPlatform::Position(THandle pin) {
    std::lock_guard lock(mutex_);
    const TRun* run = &CheckedRun(pin);
    if (run->HalfFrames() == 0)
        RaiseSystemError(EINVAL, devices_[run->Device].FriendlyName);
    const int64_t half = run->HalfFrames();
    const int64_t elapsed = run->Frame(ClockNowLocked()) - run->StartFrame;
    const uint64_t halfBytes = static_cast<uint64_t>(half) * run->Format.nBlockAlign;
    TAudioPosition position;
    position.PlayOffset = static_cast<uint64_t>(elapsed % (2 * half)) * run->Format.nBlockAlign;
    const int64_t lastHalf = (elapsed / half + 1) % 2;
    position.WriteOffset =
        run->IsRender ? position.PlayOffset : static_cast<uint64_t>(lastHalf + 1) * halfBytes - 1;
    return position;
}

} // namespace sonari
