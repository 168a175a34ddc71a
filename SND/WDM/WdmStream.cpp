#include "SND/WDM/WdmStream.h"

#include "SND/Exceptions.h"
#include "SND/WDM/WdmErrors.h"
#include "SND/WDM/WdmPins.h"
#include "SND/WDM/WdmThread.h"

#include <cstdio>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/WDM/WdmStream";

TDeviceSettings InitialSettings(int32_t bitsPerSample) {
    TDeviceSettings settings;
    settings.Channels = 2;
    settings.BitsPerSample = bitsPerSample;
    settings.SamplingRate = 48000;
    settings.SamplesPerBuf = 2048;
    return settings;
}

} // namespace

TWdmAudioStream::TWdmAudioStream(TWdmAudio& audio, TSynchronizer& synchronizer)
    : audio_(audio), sync_(synchronizer), inputDevice_(InitialSettings(24)),
      outputDevice_(InitialSettings(16)) {
    const bool canCapture = !audio.CaptureNames().empty();
    const bool canRender = !audio.RenderNames().empty();
    directions_ = canCapture && canRender ? ddBoth : canCapture ? ddCapture : ddRender;
    if (audio.Initialized()) {
        if (canCapture)
            inputDevice_.Index = audio.CaptureNames().front().second;
        if (canRender)
            outputDevice_.Index = audio.RenderNames().front().second;
    }
}

TWdmAudioStream::~TWdmAudioStream() { Stop(); }

void TWdmAudioStream::SetDirections(TDataDirections directions) {
    Assert(directions == ddCapture || directions == ddRender || directions == ddBoth, kSource);
    directions_ = directions;
}

void TWdmAudioStream::Start() {
    if (!audio_.Initialized())
        RaiseWdmError(wdmInitFailed, audio_.FailureReason());
    if (InputPin || OutputPin)
        return;
    try {
        StartPins();
        ownedThread_ = std::make_unique<TWdmThread>(*this);
        Thread.store(ownedThread_.get());
        ownedThread_->Resume();
        scheduling_ = ownedThread_->RequestRealtime();
    } catch (...) {
        Stop();
        throw;
    }
}

void TWdmAudioStream::StartPins() {
    const bool capture = directions_ != ddRender;
    const bool render = directions_ != ddCapture;
    const int32_t deviceCount = audio_.DeviceCount();
    if (capture)
        CheckDeviceSettings(inputDevice_, deviceCount);
    if (render)
        CheckDeviceSettings(outputDevice_, deviceCount);
    if (capture && render)
        CheckBufferMatch(inputDevice_, outputDevice_);
    lastXruns_ = 0;
    lastDropped_ = 0;
    if (capture)
        InputPin = OpenDirection(inputDevice_, false);
    if (render)
        OutputPin = OpenDirection(outputDevice_, true);
}

TPin* TWdmAudioStream::OpenDirection(TDeviceSettings& settings, bool isRender) {
    TFilter& device = audio_.Filters()[static_cast<size_t>(settings.Index)];
    TPin* pin = FindPin(device, isRender, settings);
    if (!pin)
        RaiseWdmError(isRender ? wdmNoOutputPin : wdmNoInputPin);
    // A failed open leaves the pin to whoever holds it (busy: another stream), but a device
    // it opened for nothing is closed again.
    try {
        OpenPin(audio_.Platform(), *pin, settings);
    } catch (...) {
        CloseDeviceIfIdle(*pin->Filter);
        throw;
    }
    return pin;
}

void TWdmAudioStream::Stop() {
    // The thread would wait for this very call to return.
    Assert(!inDataEvent_, kSource);
    if (ownedThread_) {
        ownedThread_->StopThread();
        lastDropped_ = ownedThread_->DroppedBlocks();
        ownedThread_.reset();
    }
    sync_.RemoveQueued(this);
    lastXruns_ = XrunCount();
    for (TPin* pin : {OutputPin, InputPin})
        if (pin)
            ClosePin(*pin);
    OutputPin = nullptr;
    InputPin = nullptr;
}

void TWdmAudioStream::DoData() {
    TWdmThread* thread = Thread.load();
    if (!thread || !OnData)
        return;
    // Only the main thread's handler could call Stop on itself.
    const bool inMainThread = dataThread_ == dtMain;
    if (inMainThread)
        inDataEvent_ = true;
    struct TReset {
        bool& flag;
        bool active;
        ~TReset() {
            if (active)
                flag = false;
        }
    } reset{inDataEvent_, inMainThread};
    try {
        OnData(*this, thread->Int32Buffer, thread->InBuffer, thread->OutBuffer);
    } catch (const std::exception& e) {
        ReportDataError(e.what());
    } catch (...) {
        ReportDataError("Unknown exception in the data handler");
    }
}

uint64_t TWdmAudioStream::XrunCount() const {
    uint64_t count = lastXruns_;
    for (const TPin* pin : {InputPin, OutputPin})
        if (pin && pin->Handle.IsOpen())
            count += audio_.Platform().XrunCount(pin->Handle.Get());
    return count;
}

std::optional<TDeviceDelays> TWdmAudioStream::DeviceDelays() const {
    TDeviceDelays delays;
    for (const TPin* pin : {InputPin, OutputPin}) {
        if (!pin || !pin->Handle.IsOpen())
            continue;
        const double frames = audio_.Platform().DelayFrames(pin->Handle.Get());
        if (frames < 0)
            return std::nullopt;
        (pin->IsRender ? delays.RenderFrames : delays.CaptureFrames) = frames;
    }
    if (!Running())
        return std::nullopt;
    return delays;
}

uint64_t TWdmAudioStream::DroppedBlockCount() const {
    return ownedThread_ ? ownedThread_->DroppedBlocks() : lastDropped_;
}

// Streaming thread: the stream ended by itself. Reported from the main loop later, so that the
// handler may call Stop; a Stop that came first has cleared the reference and wants no report.
void TWdmAudioStream::ThreadEnded(TWdmThread* thread, const std::string& reason) {
    TWdmThread* expected = thread;
    if (!Thread.compare_exchange_strong(expected, nullptr))
        return;
    sync_.Queue(this, [this, reason] {
        if (OnStreamEnded)
            OnStreamEnded(reason);
        else
            std::fprintf(stderr, "Streaming stopped: %s\n", reason.c_str());
    });
}

void TWdmAudioStream::ReportDataError(const std::string& message) {
    if (dataThread_ == dtStreaming && !sync_.IsMainThread()) {
        // An exception already cost an allocation; this one only happens with it.
        sync_.Queue(this, [this, message] { ReportDataError(message); });
        return;
    }
    if (OnDataError)
        OnDataError(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

} // namespace sonari
