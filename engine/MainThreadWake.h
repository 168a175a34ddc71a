#pragma once

#include "SND/WDM/Synchronize.h"

#include <atomic>
#include <functional>
#include <semaphore>
#include <thread>

namespace sonari {

// Wakes the main thread for work a real-time thread left it, without that thread locking or
// allocating: Notify only releases a semaphore; a thread of this object's own then queues one
// call of `call` in the synchronizer, and no further one until that call has started.
class TMainThreadWake {
public:
    TMainThreadWake(TSynchronizer& synchronizer, std::function<void()> call);
    ~TMainThreadWake();
    TMainThreadWake(const TMainThreadWake&) = delete;
    TMainThreadWake& operator=(const TMainThreadWake&) = delete;

    // Any thread: the call is wanted soon.
    void Notify() { wake_.release(); }
    // Main thread: a call queued but not yet run is dropped.
    void Cancel();

private:
    void Loop();

    TSynchronizer& sync_;
    const std::function<void()> call_;
    std::counting_semaphore<> wake_{0};
    std::atomic<bool> queued_{false};
    std::atomic<bool> ending_{false};
    std::thread thread_; // last: it starts once everything above exists
};

} // namespace sonari
