#include "SND/WDM/Synchronize.h"

#include <algorithm>

namespace sonari {

TSynchronizer::TSynchronizer() : mainThread_(std::this_thread::get_id()) {}

TSynchronizer::~TSynchronizer() = default;

void TSynchronizer::Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    TPending pending;
    pending.Call = &call;
    {
        std::lock_guard lock(mutex_);
        if (tail_)
            tail_->Next = &pending;
        else
            head_ = &pending;
        tail_ = &pending;
    }
    mainWake_.notify_all();
    if (OnWakeUp)
        OnWakeUp();
    std::unique_lock lock(mutex_);
    callsDone_.wait(lock, [&] { return pending.Done; });
    if (pending.Error)
        std::rethrow_exception(pending.Error);
}

void TSynchronizer::Queue(const void* owner, std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        queued_.push_back({owner, std::move(call)});
    }
    mainWake_.notify_all();
    if (OnWakeUp)
        OnWakeUp();
}

void TSynchronizer::RemoveQueued(const void* owner) {
    std::lock_guard lock(mutex_);
    std::erase_if(queued_, [&](const TQueued& q) { return q.Owner == owner; });
}

// Runs the synchronous calls, unlocking around each so that their callers may enqueue again.
void TSynchronizer::RunPendingLocked(std::unique_lock<std::mutex>& lock) {
    while (head_) {
        TPending* pending = head_;
        head_ = pending->Next;
        if (!head_)
            tail_ = nullptr;
        lock.unlock();
        try {
            (*pending->Call)();
        } catch (...) {
            pending->Error = std::current_exception();
        }
        lock.lock();
        pending->Done = true;
        callsDone_.notify_all();
    }
}

bool TSynchronizer::CheckSynchronize(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (timeout.count() > 0)
        mainWake_.wait_for(lock, timeout, [&] { return HasWorkLocked(); });
    bool ran = false;
    while (HasWorkLocked()) {
        ran = true;
        RunPendingLocked(lock);
        if (queued_.empty())
            break;
        std::function<void()> call = std::move(queued_.front().Call);
        queued_.pop_front();
        lock.unlock();
        call();
        lock.lock();
    }
    return ran;
}

void TSynchronizer::RunUntil(const std::function<bool()>& done) {
    std::unique_lock lock(mutex_);
    for (;;) {
        RunPendingLocked(lock);
        if (done())
            return;
        mainWake_.wait(lock, [&] { return head_ != nullptr || done(); });
    }
}

void TSynchronizer::Signal() {
    { std::lock_guard lock(mutex_); }
    mainWake_.notify_all();
}

} // namespace sonari
