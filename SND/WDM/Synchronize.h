#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace sonari {

// The hand-over between worker threads and the main thread: a worker enqueues a call and waits
// until the main thread has run it, so the call sees the main thread's world and no other lock
// is needed. The main thread runs pending calls from its own loop: a GUI sets OnWakeUp to post
// an event whose handler calls CheckSynchronize(); a console program or a test calls
// CheckSynchronize(timeout) in a loop.
class TSynchronizer {
public:
    // The constructing thread is the main thread.
    TSynchronizer();
    ~TSynchronizer();
    TSynchronizer(const TSynchronizer&) = delete;
    TSynchronizer& operator=(const TSynchronizer&) = delete;

    // Runs `call` in the main thread and returns once it has; its exception is rethrown here.
    // From the main thread itself the call runs at once.
    void Synchronize(const std::function<void()>& call);

    // Has `call` run later in the main thread without waiting for it. `owner` tags it for
    // RemoveQueued.
    void Queue(const void* owner, std::function<void()> call);
    // Drops the queued calls of `owner` that have not run yet.
    void RemoveQueued(const void* owner);

    // Main thread: runs every pending call, waiting up to `timeout` for the first one; true when
    // any ran. An exception from a queued call leaves here, the remaining calls stay pending.
    bool CheckSynchronize(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

    // Main thread: runs synchronous calls until `done()` holds. Whoever changes what `done`
    // reads calls Signal() afterwards. Queued calls wait for the next CheckSynchronize, so
    // nothing re-enters the caller.
    void RunUntil(const std::function<bool()>& done);
    void Signal();

    bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

    // Called after a call was enqueued, in the enqueuing thread; must be thread-safe.
    std::function<void()> OnWakeUp;

private:
    struct TPending {
        const std::function<void()>* Call = nullptr;
        bool Done = false;
        std::exception_ptr Error;
        TPending* Next = nullptr;
    };
    struct TQueued {
        const void* Owner;
        std::function<void()> Call;
    };

    void RunPendingLocked(std::unique_lock<std::mutex>& lock);
    bool HasWorkLocked() const { return head_ != nullptr || !queued_.empty(); }

    const std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable mainWake_;  // the main thread waits for calls or signals
    std::condition_variable callsDone_; // workers wait for their call to have run
    TPending* head_ = nullptr;          // synchronous calls: caller-owned, no allocation
    TPending* tail_ = nullptr;
    std::deque<TQueued> queued_;
};

} // namespace sonari
