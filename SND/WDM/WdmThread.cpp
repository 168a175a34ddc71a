#include "SND/WDM/WdmThread.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/SampleConv.h"
#include "SND/WDM/RealtimeScheduling.h"
#include "SND/WDM/WdmErrors.h"
#include "SND/WDM/WdmPins.h"
#include "SND/WDM/WdmStream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/WDM/WdmThread";
// Below the sound servers' own threads (PulseAudio asks for 5), which feed this one, and above
// every normal process.
constexpr int kRealtimePriority = 4;
constexpr int kRtKitTimeoutMs = 500;

TDataBufferF ChannelBlock(int32_t channels, int32_t frames) {
    return TDataBufferF(static_cast<size_t>(std::max(channels, 0)),
                        TSingleArray(static_cast<size_t>(std::max(frames, 0)), 0.0f));
}

size_t BufferBytes(const TPin* pin, int32_t frames) {
    return pin ? size_t{pin->WaveFormat.nBlockAlign} * static_cast<size_t>(frames) : 0;
}

} // namespace

TWdmThread::TWdmThread(TWdmAudioStream& owner)
    : owner_(owner), platform_(owner.audio_.Platform()), sync_(owner.sync_),
      inputPin_(owner.InputPin), outputPin_(owner.OutputPin) {
    const TDeviceSettings& in = owner.inputDevice_;
    const TDeviceSettings& out = owner.outputDevice_;
    if (inputPin_) {
        InBuffer = ChannelBlock(in.Channels, in.SamplesPerBuf);
        Int32Buffer.assign(InBuffer.size(),
                           TIntegerArray(InBuffer.empty() ? 0 : InBuffer[0].size()));
    }
    if (outputPin_)
        OutBuffer = ChannelBlock(out.Channels, out.SamplesPerBuf);
    Buffers[0].resize(BufferBytes(inputPin_, in.SamplesPerBuf));
    Buffers[1].resize(Buffers[0].size());
    Buffers[2].resize(BufferBytes(outputPin_, out.SamplesPerBuf));
    Buffers[3].resize(Buffers[2].size());
    dataCall_ = [this] { owner_.DoData(); };
    for (size_t i = 0; i < events_.size(); ++i) {
        events_[i] = TEventHandle(platform_, platform_.CreateEvent());
        handles_[i] = events_[i].Get();
    }
}

TWdmThread::~TWdmThread() {
    if (thread_.joinable()) {
        platform_.SetEvent(StopEvent);
        sync_.RunUntil([this] { return finished_.load(); });
        thread_.join();
    }
}

void TWdmThread::Resume() {
    thread_ = std::thread([this] { Execute(); });
}

std::string TWdmThread::RequestRealtime() {
    // The thread has asked for itself before it streams; RTKit may take longer, so it is asked
    // from here while the audio already flows.
    tid_.wait(0);
    if (!directScheduling_.empty() || !platform_.WantsRealtimeScheduling())
        return directScheduling_;
    const std::string granted =
        RequestRealtimeFromRtKit(tid_.load(), kRealtimePriority, kRtKitTimeoutMs);
    if (!granted.empty())
        for (pid_t helper : platform_.AudioHelperThreads())
            RequestRealtimeFromRtKit(helper, kRealtimePriority, kRtKitTimeoutMs);
    return granted;
}

void TWdmThread::StopThread() {
    owner_.Thread.store(nullptr);
    platform_.SetEvent(StopEvent);
    if (!thread_.joinable())
        return;
    // Pending data events return at once now that the reference is clear.
    sync_.RunUntil([this] { return finished_.load(); });
    thread_.join();
}

void TWdmThread::Execute() {
    if (platform_.WantsRealtimeScheduling()) {
        directScheduling_ = RequestRealtimeDirectly(gettid(), kRealtimePriority);
        if (!directScheduling_.empty())
            for (pid_t helper : platform_.AudioHelperThreads())
                RequestRealtimeDirectly(helper, kRealtimePriority);
    }
    tid_.store(gettid());
    tid_.notify_all();
    std::string failure;
    try {
        Done.fill(false);
        if (outputPin_)
            StartPin(*outputPin_);
        if (inputPin_)
            StartPin(*inputPin_);
        while (!terminated_)
            WaitOnce();
    } catch (const std::exception& e) {
        failure = *e.what() ? ErrorMessage(e) : "Streaming failed";
    } catch (...) {
        failure = "Streaming failed";
    }
    if (!failure.empty())
        owner_.ThreadEnded(this, failure);
    // Stopping is best effort: a vanished device cannot be stopped, only released.
    for (TPin* pin : {inputPin_, outputPin_}) {
        try {
            if (pin)
                StopPin(*pin);
        } catch (const std::exception&) {
        }
    }
    finished_ = true;
    sync_.Signal();
}

void TWdmThread::StartPin(TPin& pin) {
    if (pin.Filter->IsRealtime) {
        const size_t half = Buffers[pin.IsRender ? 2 : 0].size();
        pin.RtBuffer = platform_.RtBuffer(pin.Handle.Get(), static_cast<uint32_t>(2 * half), 2);
        // The copies write whole halves: a smaller buffer would be overrun.
        if (!pin.RtBuffer.BufferAddress || pin.RtBuffer.ActualBufferSize < 2 * half)
            throw EOSError(ENOBUFS, pin.Filter->Name + ": the driver granted a cyclic buffer of " +
                                        std::to_string(pin.RtBuffer.ActualBufferSize) + " bytes, " +
                                        std::to_string(2 * half) + " are needed");
        platform_.RegisterNotificationEvent(pin.Handle.Get(), Events[pin.IsRender ? 2 : 0]);
    }
    SetPinState(platform_, pin, ksPause);
    SetPinState(platform_, pin, ksRun);
    if (pin.Filter->IsRealtime)
        return;
    if (pin.IsRender) {
        QueueWrite(2);
        QueueWrite(3);
    } else {
        QueueRead(0);
        QueueRead(1);
    }
}

void TWdmThread::StopPin(TPin& pin) {
    if (pin.Filter->IsRealtime) {
        try {
            platform_.UnregisterNotificationEvent(pin.Handle.Get(), Events[pin.IsRender ? 2 : 0]);
        } catch (const EOSError&) {
            // Nothing is notified any more either way.
        }
    }
    SetPinState(platform_, pin, ksPause);
    SetPinState(platform_, pin, ksStop);
}

void TWdmThread::QueueRead(int index) {
    TByteArray& buffer = Buffers[static_cast<size_t>(index)];
    try {
        platform_.ReadStream(inputPin_->Handle.Get(), buffer.data(), buffer.size(), Events[index]);
    } catch (const EOSError& e) {
        RaiseWdmError(wdmReadFailed, e.what());
    }
}

void TWdmThread::QueueWrite(int index) {
    TByteArray& buffer = Buffers[static_cast<size_t>(index)];
    try {
        platform_.WriteStream(outputPin_->Handle.Get(), buffer.data(), buffer.size(),
                              Events[index]);
    } catch (const EOSError& e) {
        RaiseWdmError(wdmWriteFailed, e.what());
    }
}

void TWdmThread::WaitOnce() {
    size_t signalled = 0;
    try {
        signalled = platform_.WaitForAny(handles_.data(), handles_.size());
    } catch (const EDeviceLost&) {
        throw; // the device's own words end the stream
    } catch (const EOSError& e) {
        RaiseWdmError(wdmWaitFailed, e.what());
    }
    if (signalled >= handles_.size())
        RaiseWdmError(wdmWaitFailed);
    platform_.ResetEvent(handles_[signalled]);
    if (signalled == 0) {
        terminated_ = true;
        return;
    }
    const int index = static_cast<int>(signalled) - 1;
    if (index < 2)
        ProcessBuffers(index, -1);
    else
        ProcessBuffers(-1, index);
}

void TWdmThread::ProcessBuffers(int in, int out) {
    if (owner_.Thread.load() == nullptr)
        return; // stopping
    Assert((in >= 0) != (out >= 0), kSource);
    if (out >= 0)
        Done[static_cast<size_t>(out)] = true;
    if (in >= 0) {
        // Requeue first: the driver fills the other queued buffer meanwhile.
        if (IsRealtime(inputPin_))
            CopyFromCyclicBuffer();
        else
            QueueRead(in);
        BytesToFloats(Buffers[static_cast<size_t>(in)], InBuffer, inputPin_->WaveFormat);
    }
    // In duplex, data events follow the capture side; render completions only free buffers.
    if (out >= 0 && inputPin_)
        return;
    if (owner_.dataThread_ == dtStreaming)
        owner_.DoData();
    else
        sync_.Synchronize(dataCall_);
    if (!outputPin_)
        return;
    const int target = Done[2] ? 2 : Done[3] ? 3 : -1;
    if (target < 0) {
        ++dropped_;
        return;
    }
    SanitizeOutput();
    FloatsToBytes(OutBuffer, Buffers[static_cast<size_t>(target)], outputPin_->WaveFormat);
    if (IsRealtime(outputPin_))
        CopyToCyclicBuffer();
    else
        QueueWrite(target);
    Done[static_cast<size_t>(target)] = false;
}

// The capture position's second field below half the buffer means the first half is complete.
void TWdmThread::CopyFromCyclicBuffer() {
    const size_t half = Buffers[0].size();
    const TAudioPosition position = platform_.Position(inputPin_->Handle.Get());
    const uint8_t* source =
        inputPin_->RtBuffer.BufferAddress + (position.WriteOffset < half ? 0 : half);
    std::memcpy(Buffers[0].data(), source, half);
}

// While the device plays the first half, the second one is written, and the other way round.
void TWdmThread::CopyToCyclicBuffer() {
    const size_t half = Buffers[2].size();
    const TAudioPosition position = platform_.Position(outputPin_->Handle.Get());
    uint8_t* target = outputPin_->RtBuffer.BufferAddress + (position.PlayOffset < half ? half : 0);
    std::memcpy(target, Buffers[2].data(), half);
}

// A NaN, or a value the device width cannot hold, must never reach the transmitter: NaN becomes
// silence and integer formats saturate instead of wrapping around.
void TWdmThread::SanitizeOutput() {
    const bool isFloat = IsFloatFormat(outputPin_->WaveFormat);
    const size_t channels = std::min<size_t>(OutBuffer.size(), outputPin_->WaveFormat.nChannels);
    for (size_t c = 0; c < channels; ++c) {
        for (float& x : OutBuffer[c]) {
            if (isFloat)
                x = std::isfinite(x) ? x : 0.0f;
            else
                x = x == x ? std::clamp(x, kSmallestSample, kLargestSample) : 0.0f;
        }
    }
}

} // namespace sonari
