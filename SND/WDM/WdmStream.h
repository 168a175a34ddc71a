#pragma once

#include "SND/SndTypes.h"
#include "SND/WDM/DeviceSettings.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sonari {

class TWdmThread;

enum TDataDirections { ddCapture = 0, ddRender = 1, ddBoth = 2 };

// Where the data event runs: in the main thread, handed over through the synchronizer while the
// streaming thread waits, or in the streaming thread itself, which then waits for nobody.
enum TDataThread { dtMain, dtStreaming };

// What the devices hold at the moment, in frames: the capture device what it has taken in but
// not yet delivered, the render device what it has been given but not yet played.
struct TDeviceDelays {
    double CaptureFrames = 0;
    double RenderFrames = 0;
};

// The component through which the rest of the system uses sound devices. While it runs it
// delivers one block of captured samples per device buffer and takes back one block of output,
// in the main thread (through the synchronizer) or in the streaming thread (DataThread).
// Everything else here is main-thread only; never call Start or Stop from inside OnData.
class TWdmAudioStream {
public:
    // Sender, Int32Buffer (all zero, unused), InBuffer [channels][frames] on the 32-bit scale,
    // OutBuffer [channels][frames] to fill in place (it keeps the previous block).
    using TDataEvent = std::function<void(TWdmAudioStream& sender, TDataBufferI& int32Buffer,
                                          TDataBufferF& inBuffer, TDataBufferF& outBuffer)>;

    TWdmAudioStream(TWdmAudio& audio, TSynchronizer& synchronizer);
    ~TWdmAudioStream();
    TWdmAudioStream(const TWdmAudioStream&) = delete;
    TWdmAudioStream& operator=(const TWdmAudioStream&) = delete;

    TDataDirections Directions() const { return directions_; }
    void SetDirections(TDataDirections directions);
    // Capture and render settings; Start reads them and rewrites Channels and BitsPerSample
    // with what the driver chose.
    TDeviceSettings& InputDevice() { return inputDevice_; }
    const TDeviceSettings& InputDevice() const { return inputDevice_; }
    void SetInputDevice(const TDeviceSettings& settings) { inputDevice_ = settings; }
    TDeviceSettings& OutputDevice() { return outputDevice_; }
    const TDeviceSettings& OutputDevice() const { return outputDevice_; }
    void SetOutputDevice(const TDeviceSettings& settings) { outputDevice_ = settings; }

    // Where OnData runs; set before Start. Default: the main thread.
    TDataThread DataThread() const { return dataThread_; }
    void SetDataThread(TDataThread thread) { dataThread_ = thread; }

    // Once per capture buffer (capture or both) or per render buffer (render only).
    TDataEvent OnData;
    // An exception thrown by OnData, with its message, reported in the main thread; streaming
    // goes on. Default: stderr.
    std::function<void(const std::string& message)> OnDataError;
    // Streaming ended by itself (device vanished, driver refused, I/O failed), with the reason
    // as the operator reads it (ErrorMessage); called from the main loop after the fact, never
    // from within OnData. The pins stay held until Stop. Default: stderr.
    std::function<void(const std::string& reason)> OnStreamEnded;

    // Opens the pins for Directions and starts streaming; raises EWdmAudioError (codes 1, 6-18;
    // with the platform's words as its Reason() where the platform failed) or EOSError, leaving
    // nothing open. Does nothing while pins are held.
    void Start();
    // Stops streaming and releases pins and devices; harmless when not started.
    void Stop();
    // Called by the streaming thread once per block, in the thread DataThread names.
    void DoData();

    // A streaming thread is delivering blocks.
    bool Running() const { return Thread.load() != nullptr; }
    // Device interruptions recovered from, and output blocks dropped because no render buffer
    // was free, since the last Start.
    uint64_t XrunCount() const;
    uint64_t DroppedBlockCount() const;
    // While running: what the devices in use hold, as they last reported it; nothing before
    // every device has reported.
    std::optional<TDeviceDelays> DeviceDelays() const;
    // The real-time scheduling the streaming thread got ("SCHED_FIFO priority 4"), "" for
    // none; valid once Start has returned.
    const std::string& Scheduling() const { return scheduling_; }

private:
    friend class TWdmThread;

    void StartPins();
    TPin* OpenDirection(TDeviceSettings& settings, bool isRender);
    void ThreadEnded(TWdmThread* thread, const std::string& reason);
    void ReportDataError(const std::string& message);

    TWdmAudio& audio_;
    TSynchronizer& sync_;
    TDataDirections directions_ = ddRender;
    TDataThread dataThread_ = dtMain;
    TDeviceSettings inputDevice_;
    TDeviceSettings outputDevice_;
    // The running thread; cleared (by Stop or by the thread when it fails) before it ends.
    std::atomic<TWdmThread*> Thread{nullptr};
    std::unique_ptr<TWdmThread> ownedThread_;
    TPin* InputPin = nullptr;
    TPin* OutputPin = nullptr;
    bool inDataEvent_ = false;
    uint64_t lastXruns_ = 0;
    uint64_t lastDropped_ = 0;
    std::string scheduling_;
};

} // namespace sonari
