#include "SND/WDM/Alsa/AlsaPlatformImpl.h"

#include "SND/Exceptions.h"
#include "SND/WDM/RealtimeScheduling.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

// Streaming over ALSA: queued buffers are read and written from inside WaitForAny, which polls
// the PCMs that have buffers queued for the events it waits on, together with an eventfd that
// SetEvent writes to.

namespace sonari {

namespace {

constexpr int kPollTimeoutMs = 1000;
constexpr int kBackOffMs = 5;
constexpr int64_t kStallLimitNs = 5'000'000'000; // no progress this long: the device is lost
constexpr size_t kMaxActivePins = 8;
constexpr size_t kMaxDescriptors = 64;
// The device's ring holds this many of the layer's buffers, and at least kRoomUs: the latency is
// what is queued, not the room, and a sound server that takes or delivers in bursts needs the
// room, however short the buffers. PipeWire runs a device's graph in steps of up to 42.7 ms when
// another client of it asks for a long latency; a ring of less than two such steps and the
// margin stalled there for 50 ms once a second, and blocks were dropped.
constexpr snd_pcm_uframes_t kBuffersOfRoom = 4;
constexpr snd_pcm_uframes_t kRoomUs = 100'000;
// A capture delay this far beyond two buffers is normal (PulseAudio's null sinks deliver in steps
// of up to 34 ms while they settle); only beyond it is the delay trimmed. Two buffers and less
// than this cut a tone of 4096-frame buffers for 1.7 ms of delay.
constexpr snd_pcm_uframes_t kCaptureSlackUs = 40'000;
// What playback holds when a new buffer arrives must outlast the sound server's steps (a
// PulseAudio null sink takes 10 ms at once) and a late capture buffer. Starting from two buffers
// it holds about one; buffers shorter than this get silence ahead of them to make up the rest
// (this much held beside four CPU hogs, where less ran dry).
constexpr snd_pcm_uframes_t kRenderMarginUs = 10'667;

snd_pcm_uframes_t FramesIn(snd_pcm_uframes_t us, unsigned rate) { return us * rate / 1'000'000; }

[[noreturn]] void Fatal(const TAlsaPin& pin, int err) {
    // A sound server's endpoint that went away breaks the plugin's connection: say what happened.
    if (pin.Guard && pin.Guard->Removed())
        throw EDeviceLost(ENODEV, pin.Label + ": the device was removed");
    throw EDeviceLost(-err, pin.Label + ": " + snd_strerror(err));
}

// The room above, in periods of half a buffer: a plugin whose periods come out a few frames short
// of the request (PulseAudio's) would otherwise complete a buffer only every second period. The
// device may grant other sizes as long as one buffer fits.
int ApplyHardwareParams(snd_pcm_t* pcm, bool exactHardware, snd_pcm_format_t format,
                        unsigned channels, unsigned rate, snd_pcm_uframes_t frames,
                        snd_pcm_uframes_t& bufferFrames) {
    const THwParams params = NewHwParams();
    snd_pcm_hw_params_t* hw = params.get();
    int err = snd_pcm_hw_params_any(pcm, hw);
    if (err >= 0)
        err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err >= 0 && exactHardware)
        err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 0);
    if (err >= 0)
        err = snd_pcm_hw_params_set_format(pcm, hw, format);
    if (err >= 0)
        err = snd_pcm_hw_params_set_channels(pcm, hw, channels);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate(pcm, hw, rate, 0);
    snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(frames / 2, 1);
    snd_pcm_uframes_t buffer = std::max(kBuffersOfRoom * frames, FramesIn(kRoomUs, rate));
    int dir = 0;
    if (err >= 0)
        err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir);
    if (err >= 0)
        err = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    if (err >= 0)
        err = snd_pcm_hw_params(pcm, hw);
    // The device decides: read back what it granted.
    if (err >= 0)
        err = snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);
    if (err >= 0 && bufferFrames < frames)
        err = -EINVAL;
    return err;
}

int ApplySoftwareParams(snd_pcm_t* pcm, bool isRender, snd_pcm_uframes_t frames,
                        snd_pcm_uframes_t bufferFrames) {
    const TSwParams params = NewSwParams();
    snd_pcm_sw_params_t* sw = params.get();
    int err = snd_pcm_sw_params_current(pcm, sw);
    if (err >= 0)
        err = snd_pcm_sw_params_set_avail_min(pcm, sw, frames);
    // Playback starts once the two initial buffers are in; capture is started explicitly.
    const snd_pcm_uframes_t start =
        isRender ? (bufferFrames >= 2 * frames ? 2 * frames : frames) : bufferFrames;
    if (err >= 0)
        err = snd_pcm_sw_params_set_start_threshold(pcm, sw, start);
    if (err >= 0)
        err = snd_pcm_sw_params_set_stop_threshold(pcm, sw, bufferFrames);
    if (err >= 0)
        err = snd_pcm_sw_params(pcm, sw);
    return err;
}

// Reads up to `frames` captured frames into nowhere, as far as they are readable now; how many.
snd_pcm_sframes_t DiscardCapture(TAlsaPin& pin, snd_pcm_sframes_t frames) {
    snd_pcm_sframes_t discarded = 0;
    while (discarded < frames) {
        const auto chunk = std::min<snd_pcm_uframes_t>(
            static_cast<snd_pcm_uframes_t>(frames - discarded), pin.RequestFrames);
        const snd_pcm_sframes_t n = snd_pcm_readi(pin.Pcm.get(), pin.Scratch.data(), chunk);
        if (n <= 0)
            break;
        discarded += n;
    }
    return discarded;
}

// Some plugins (PulseAudio's) record from the moment the PCM is prepared, not from its start:
// what came before the start is stale and would only add to the delay.
void DropStaleCapture(TAlsaPin& pin) { DiscardCapture(pin, snd_pcm_avail_update(pin.Pcm.get())); }

// Silence ahead of the first buffers, so the playback's margin is kRenderMarginUs whatever the
// buffer's length (at most a buffer: the scratch holds one); before a start, it counts towards
// the start threshold.
void QueueStartSilence(TAlsaPin& pin) {
    const snd_pcm_uframes_t margin = FramesIn(kRenderMarginUs, pin.Rate);
    if (margin > pin.RequestFrames)
        snd_pcm_writei(pin.Pcm.get(), pin.Scratch.data(),
                       std::min(margin - pin.RequestFrames, pin.RequestFrames));
}

void RestartCapture(TAlsaPin& pin) {
    int err = snd_pcm_prepare(pin.Pcm.get());
    if (err >= 0 && pin.State == ksRun)
        err = snd_pcm_start(pin.Pcm.get());
    if (err < 0)
        Fatal(pin, err);
}

// An xrun is counted and streaming goes on; a suspended device is resumed; anything else
// means the device is gone.
void Recover(TAlsaPin& pin, int err) {
    if (err == -EAGAIN)
        return;
    if (err == -ESTRPIPE) {
        for (int tries = 0; tries < 50 && (err = snd_pcm_resume(pin.Pcm.get())) == -EAGAIN; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (err == 0) {
            ++pin.Xruns;
            return;
        }
        err = -EPIPE; // could not resume: start again
    }
    if (err != -EPIPE)
        Fatal(pin, err);
    ++pin.Xruns;
    if (pin.IsRender) {
        if ((err = snd_pcm_prepare(pin.Pcm.get())) < 0)
            Fatal(pin, err);
        QueueStartSilence(pin);
    } else {
        RestartCapture(pin);
    }
}

// After a capture stall some plugins deliver late for good: the delay grows and stays. What lies
// beyond two buffers and the slack is dropped in one step once it is all readable here, so
// latency never creeps up during a long transmission. A delay that sits in the source itself (a
// sound server's monitor that renders ahead) is left alone: reading it away a period at a time
// would cut the voice into pieces for as long as it lasts.
void TrimCaptureDelay(TAlsaPin& pin) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pin.Pcm.get(), &delay) < 0)
        return;
    const auto limit =
        static_cast<snd_pcm_sframes_t>(2 * pin.RequestFrames + FramesIn(kCaptureSlackUs, pin.Rate));
    const snd_pcm_sframes_t excess = delay - limit;
    if (excess > 0 && snd_pcm_avail_update(pin.Pcm.get()) >= excess) {
        delay -= DiscardCapture(pin, excess);
        ++pin.Xruns;
    }
    pin.Delay = static_cast<double>(delay);
}

// S24_LE holds 24 bits low in 32; the layer's conversions expect them at the top.
void ShiftUp(uint8_t* data, size_t samples) {
    for (size_t i = 0; i < samples; ++i, data += 4) {
        int32_t v;
        std::memcpy(&v, data, 4);
        v = static_cast<int32_t>(static_cast<uint32_t>(v) << 8);
        std::memcpy(data, &v, 4);
    }
}

void ShiftDown(uint8_t* data, size_t samples) {
    for (size_t i = 0; i < samples; ++i, data += 4) {
        int32_t v;
        std::memcpy(&v, data, 4);
        v >>= 8; // arithmetic: keeps the sign
        std::memcpy(data, &v, 4);
    }
}

void Complete(TAlsaPin& pin, TEventTable& events) {
    TAlsaRequest& request = pin.Queue[pin.Head];
    if (pin.Shift24 && !pin.IsRender)
        ShiftUp(request.Data, request.Frames * pin.FrameBytes / 4);
    const THandle event = request.Event;
    pin.Head = (pin.Head + 1) % pin.Queue.size();
    --pin.Count;
    pin.LastProgressNs = MonotonicNs();
    events.SetQuiet(event);
}

// Moves frames between the queued buffers and the device. Transfers are tried whether or not
// the device reports room or data: some plugins (PulseAudio's) only clear their poll wake-up
// inside a transfer, and a non-blocking transfer answers -EAGAIN when there is nothing to do.
void Service(TAlsaPin& pin, TEventTable& events) {
    for (int step = 0; step < 8 && pin.Count > 0 && pin.State == ksRun; ++step) {
        TAlsaRequest& request = pin.Queue[pin.Head];
        const snd_pcm_uframes_t remaining = request.Frames - request.Done;
        uint8_t* data = request.Data + request.Done * pin.FrameBytes;
        const snd_pcm_sframes_t n = pin.IsRender ? snd_pcm_writei(pin.Pcm.get(), data, remaining)
                                                 : snd_pcm_readi(pin.Pcm.get(), data, remaining);
        if (n == -EAGAIN || n == 0)
            return;
        if (n < 0) {
            Recover(pin, static_cast<int>(n));
            continue;
        }
        request.Done += static_cast<snd_pcm_uframes_t>(n);
        if (request.Done < request.Frames)
            continue;
        Complete(pin, events);
        if (!pin.IsRender)
            TrimCaptureDelay(pin);
    }
}

// Poll timed out: look at the device itself, since some failures never wake a poll.
void CheckQuietPin(TAlsaPin& pin, int64_t nowNs) {
    switch (snd_pcm_state(pin.Pcm.get())) {
    case SND_PCM_STATE_XRUN:
        Recover(pin, -EPIPE);
        return;
    case SND_PCM_STATE_SUSPENDED:
        Recover(pin, -ESTRPIPE);
        return;
    case SND_PCM_STATE_DISCONNECTED:
        Fatal(pin, -ENODEV);
    default:
        break;
    }
    if (nowNs - pin.LastProgressNs > kStallLimitNs)
        throw EDeviceLost(ETIMEDOUT, pin.Label + ": no audio for " +
                                         std::to_string(kStallLimitNs / 1'000'000'000) +
                                         " seconds");
}

bool WaitsFor(const TAlsaPin& pin, const THandle* events, size_t count) {
    for (size_t i = 0; i < pin.Count; ++i)
        if (TEventTable::Contains(events, count,
                                  pin.Queue[(pin.Head + i) % pin.Queue.size()].Event))
            return true;
    return false;
}

// What plays before a buffer queued now: the device's delay and what is still queued here.
void NoteRenderDelay(TAlsaPin& pin) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_state(pin.Pcm.get()) != SND_PCM_STATE_RUNNING ||
        snd_pcm_delay(pin.Pcm.get(), &delay) < 0)
        return;
    snd_pcm_uframes_t queued = 0;
    for (size_t i = 0; i < pin.Count; ++i) {
        const TAlsaRequest& request = pin.Queue[(pin.Head + i) % pin.Queue.size()];
        queued += request.Frames - request.Done;
    }
    pin.Delay = static_cast<double>(delay) + static_cast<double>(queued);
}

void QueueBuffer(TAlsaPin* pin, bool isWrite, uint8_t* data, size_t bytes, THandle event) {
    if (!pin || pin->IsRender != isWrite)
        RaiseAlsaError(-EBADF, isWrite ? "WriteStream" : "ReadStream");
    if (bytes == 0 || bytes % pin->FrameBytes != 0 || bytes / pin->FrameBytes > pin->BufferFrames)
        RaiseAlsaError(-EINVAL, pin->Label);
    if (pin->Count == pin->Queue.size())
        RaiseAlsaError(-EBUSY, pin->Label);
    if (pin->Count == 0)
        pin->LastProgressNs = MonotonicNs(); // waiting only starts now
    if (pin->Shift24 && isWrite)
        ShiftDown(data, bytes / 4);
    if (isWrite)
        NoteRenderDelay(*pin);
    pin->Queue[(pin->Head + pin->Count) % pin->Queue.size()] = {data, bytes / pin->FrameBytes, 0,
                                                                event};
    ++pin->Count;
}

} // namespace

int OpenConfiguredPcm(const std::string& name, bool isRender, snd_pcm_format_t format,
                      unsigned channels, unsigned rate, snd_pcm_uframes_t frames, TAlsaPin& pin) {
    TPcm opened;
    int err = OpenPcm(opened, name, isRender);
    if (err < 0)
        return err;
    snd_pcm_t* pcm = opened.get();
    const bool exactHardware = name.compare(0, 3, "hw:") == 0;
    snd_pcm_uframes_t bufferFrames = 0;
    err = ApplyHardwareParams(pcm, exactHardware, format, channels, rate, frames, bufferFrames);
    if (err >= 0)
        err = ApplySoftwareParams(pcm, isRender, frames, bufferFrames);
    if (err >= 0)
        err = snd_pcm_prepare(pcm);
    const int descriptors = err >= 0 ? snd_pcm_poll_descriptors_count(pcm) : 0;
    if (err >= 0 && (descriptors <= 0 || descriptors > 16))
        err = -EINVAL;
    if (err < 0)
        return err;
    pin.Pcm = std::move(opened);
    pin.IsRender = isRender;
    pin.Shift24 = format == SND_PCM_FORMAT_S24_LE;
    pin.FrameBytes = static_cast<size_t>(snd_pcm_frames_to_bytes(pcm, 1));
    pin.RequestFrames = frames;
    pin.Rate = rate;
    pin.BufferFrames = bufferFrames;
    pin.DescriptorCount = descriptors;
    pin.Scratch.assign(frames * pin.FrameBytes, 0);
    pin.State = ksStop;
    return 0;
}

void TAlsaPlatform::SetPinState(THandle handle, TKsState state) {
    TAlsaPin* pin = impl_->FindPin(handle);
    if (!pin)
        RaiseAlsaError(-EBADF, "SetPinState");
    int err = 0;
    if (state == ksRun && pin->State != ksRun) {
        pin->LastProgressNs = MonotonicNs();
        pin->Delay = -1.0;
        pin->State = ksRun;
        // Playback starts by itself once its first buffers are in.
        if (pin->IsRender)
            QueueStartSilence(*pin);
        if (!pin->IsRender && snd_pcm_state(pin->Pcm.get()) == SND_PCM_STATE_PREPARED) {
            err = snd_pcm_start(pin->Pcm.get());
            if (err >= 0)
                DropStaleCapture(*pin);
        }
    } else if (state != ksRun && pin->State == ksRun) {
        pin->State = state;
        err = snd_pcm_drop(pin->Pcm.get());
        if (err >= 0)
            err = snd_pcm_prepare(pin->Pcm.get());
    } else {
        pin->State = state;
    }
    if (state == ksStop)
        pin->Count = 0; // queued buffers are cancelled
    if (err < 0)
        RaiseAlsaError(err, pin->Label);
}

void TAlsaPlatform::ReadStream(THandle pin, uint8_t* data, size_t bytes, THandle event) {
    QueueBuffer(impl_->FindPin(pin), false, data, bytes, event);
}

void TAlsaPlatform::WriteStream(THandle pin, uint8_t* data, size_t bytes, THandle event) {
    QueueBuffer(impl_->FindPin(pin), true, data, bytes, event);
}

namespace {

// The pins with buffers queued for these events; other threads' pins are theirs.
size_t ActivePins(TAlsaPlatform::TImpl& impl, const THandle* events, size_t count,
                  std::array<TAlsaPin*, kMaxActivePins>& active) {
    std::lock_guard lock(impl.PinsMutex);
    size_t pins = 0;
    for (auto& [handle, pin] : impl.Pins)
        if (pins < active.size() && WaitsFor(*pin, events, count))
            active[pins++] = pin.get();
    return pins;
}

size_t FillDescriptors(int wakeFd, const std::array<TAlsaPin*, kMaxActivePins>& active, size_t pins,
                       std::array<pollfd, kMaxDescriptors>& fds) {
    size_t used = 0;
    fds[used++] = {wakeFd, POLLIN, 0};
    for (size_t i = 0; i < pins; ++i) {
        const int n = snd_pcm_poll_descriptors(active[i]->Pcm.get(), &fds[used],
                                               static_cast<unsigned>(fds.size() - used));
        used += static_cast<size_t>(std::max(n, 0));
    }
    return used;
}

// Lets each PCM digest its descriptors; true when one of them really is ready.
bool DigestDescriptors(const std::array<TAlsaPin*, kMaxActivePins>& active, size_t pins,
                       std::array<pollfd, kMaxDescriptors>& fds, size_t used) {
    bool ready = false;
    size_t at = 1;
    for (size_t i = 0; i < pins; ++i) {
        unsigned short revents = 0;
        const auto n = static_cast<unsigned>(active[i]->DescriptorCount);
        if (at + n <= used)
            snd_pcm_poll_descriptors_revents(active[i]->Pcm.get(), &fds[at], n, &revents);
        ready = ready || revents != 0;
        at += n;
    }
    return ready;
}

} // namespace

size_t TAlsaPlatform::WaitForAny(const THandle* events, size_t count) {
    TEventTable& table = impl_->Events;
    std::array<TAlsaPin*, kMaxActivePins> active{};
    std::array<pollfd, kMaxDescriptors> fds{};
    bool backOff = false;
    for (;;) {
        if (const std::optional<size_t> signalled = table.FirstSet(events, count))
            return *signalled;
        const size_t pins = ActivePins(*impl_, events, count, active);
        for (size_t i = 0; i < pins; ++i)
            Service(*active[i], table);
        if (const std::optional<size_t> signalled = table.FirstSet(events, count))
            return *signalled;

        // A plugin may keep its descriptor readable while it has nothing (PulseAudio's before
        // the first fragment): then only the wake-up is polled, briefly, instead of spinning.
        const size_t used = backOff ? 1 : FillDescriptors(impl_->WakeFd, active, pins, fds);
        if (backOff)
            fds[0] = {impl_->WakeFd, POLLIN, 0};
        const int ready = poll(fds.data(), used, backOff ? kBackOffMs : kPollTimeoutMs);
        if (ready < 0 && errno != EINTR)
            RaiseSystemError(errno, "poll");
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            uint64_t drained;
            [[maybe_unused]] ssize_t n = read(impl_->WakeFd, &drained, sizeof drained);
        }
        const bool timedOut = ready == 0 && !backOff;
        backOff = !backOff && ready > 0 && !(fds[0].revents & POLLIN) &&
                  !DigestDescriptors(active, pins, fds, used);
        const int64_t now = MonotonicNs();
        for (size_t i = 0; i < pins; ++i)
            if (timedOut || now - active[i]->LastProgressNs > kStallLimitNs)
                CheckQuietPin(*active[i], now);
    }
}

std::vector<pid_t> TAlsaPlatform::AudioHelperThreads() const { return ThreadsNamed("threaded-ml"); }

double TAlsaPlatform::DelayFrames(THandle pin) const {
    const TAlsaPin* p = impl_->FindPin(pin);
    return p ? p->Delay.load() : -1.0;
}

// ALSA devices are listed without the looped-streaming interface, so these are never reached.
TRtAudioBuffer TAlsaPlatform::RtBuffer(THandle, uint32_t, uint32_t) {
    throw EOSError(ENOTSUP, "Cyclic buffers are not supported by ALSA devices");
}

void TAlsaPlatform::RegisterNotificationEvent(THandle, THandle) {
    throw EOSError(ENOTSUP, "Cyclic buffers are not supported by ALSA devices");
}

void TAlsaPlatform::UnregisterNotificationEvent(THandle, THandle) {}

TAudioPosition TAlsaPlatform::Position(THandle) {
    throw EOSError(ENOTSUP, "Cyclic buffers are not supported by ALSA devices");
}

} // namespace sonari
