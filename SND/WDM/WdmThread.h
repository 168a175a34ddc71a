#pragma once

#include "SND/SndTypes.h"
#include "SND/WDM/AudioPlatform.h"
#include "SND/WDM/PlatformHandles.h"
#include "SND/WDM/WdmFilters.h"

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <sys/types.h>

namespace sonari {

class TSynchronizer;
class TWdmAudioStream;

// All device I/O of a running stream: keeps two capture and two render buffers queued with the
// driver (ping-pong), converts each completed capture buffer to floats, hands the block to the
// main thread for the stream's data event and converts the returned block back to device bytes.
// Real-time devices copy halves of their cyclic buffer instead. Buffers are sized once, here.
class TWdmThread {
public:
    // Sizes the buffers from the negotiated formats; the thread starts with Resume.
    explicit TWdmThread(TWdmAudioStream& owner);
    ~TWdmThread();
    TWdmThread(const TWdmThread&) = delete;
    TWdmThread& operator=(const TWdmThread&) = delete;

    void Resume();
    // Main thread, after Resume: real-time scheduling for the thread, where the system grants
    // it (itself, else RTKit); what it got, "" for nothing. The thread streams meanwhile.
    std::string RequestRealtime();
    // Main thread: clears the stream's thread reference, ends the thread and waits for it while
    // serving the synchronous calls that are pending meanwhile.
    void StopThread();

    // Output blocks dropped because neither render buffer was free.
    uint64_t DroppedBlocks() const { return dropped_.load(); }

    // Shared with the data event, which runs while this thread waits for it.
    TDataBufferI Int32Buffer;
    TDataBufferF InBuffer;
    TDataBufferF OutBuffer;

private:
    void Execute();
    void StartPin(TPin& pin);
    void StopPin(TPin& pin);
    void QueueRead(int index);
    void QueueWrite(int index);
    void WaitOnce();
    void ProcessBuffers(int in, int out);
    void CopyFromCyclicBuffer();
    void CopyToCyclicBuffer();
    void SanitizeOutput();
    bool IsRealtime(const TPin* pin) const { return pin && pin->Filter->IsRealtime; }

    TWdmAudioStream& owner_;
    IAudioPlatform& platform_;
    TSynchronizer& sync_;
    TPin* inputPin_;
    TPin* outputPin_;
    // Wait order: the stop event, then Events[0..3] (0, 1 capture; 2, 3 render). The owners
    // close them after the thread has ended (members go after the destructor's body).
    std::array<TEventHandle, 5> events_;
    std::array<THandle, 5> handles_{};
    THandle& StopEvent = handles_[0];
    THandle* const Events = handles_.data() + 1;
    std::array<TByteArray, 4> Buffers;
    std::array<bool, 4> Done{};
    std::function<void()> dataCall_;
    std::atomic<pid_t> tid_{0}; // set once the thread has asked for itself
    std::string directScheduling_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> dropped_{0};
    std::thread thread_;
};

} // namespace sonari
