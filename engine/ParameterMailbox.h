#pragma once

#include <array>
#include <atomic>

namespace sonari {

// Hands a value from one writing thread to one reading thread without locks or waits: the
// writer fills a slot that nobody reads and publishes it, the reader takes the newest published
// slot when it chooses (at a block boundary). With three slots neither side ever waits. A value
// is copied into a slot's existing storage, so values whose containers keep their sizes cost
// no allocation after the first publication.
template <typename T>
class TParameterMailbox {
public:
    explicit TParameterMailbox(const T& initial = T{}) : slots_{initial, initial, initial} {}
    TParameterMailbox(const TParameterMailbox&) = delete;
    TParameterMailbox& operator=(const TParameterMailbox&) = delete;

    // Writer: `value` becomes the newest; an older one the reader has not taken is dropped.
    void Publish(const T& value) {
        slots_[back_] = value;
        back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kIndex;
    }

    // Reader: the newest published value (the last one read when nothing new came); `changed`
    // tells whether it is new since the previous call.
    const T& Read(bool& changed) {
        changed = (middle_.load(std::memory_order_acquire) & kFresh) != 0;
        if (changed)
            front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
        return slots_[front_];
    }

    // Either side while the other is idle (before a run): replaces every slot.
    void Reset(const T& value) {
        for (T& slot : slots_)
            slot = value;
        front_ = 0;
        back_ = 1;
        middle_.store(2, std::memory_order_release);
    }

private:
    static constexpr int kIndex = 3;
    static constexpr int kFresh = 4;

    std::array<T, 3> slots_;
    int front_ = 0;              // the reader's slot
    int back_ = 1;               // the writer's slot
    std::atomic<int> middle_{2}; // the slot between them, with kFresh once published
};

} // namespace sonari
