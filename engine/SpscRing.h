#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace sonari {

// A fixed ring of values from one producing thread to one consuming thread, without locks or
// waits. Every slot is built from a prototype at construction; values are copied into a slot's
// existing storage, so values whose containers keep their sizes cost no allocation. A full ring
// refuses the value (the producer decides what is lost), it never blocks.
template <typename T>
class TSpscRing {
public:
    TSpscRing(size_t capacity, const T& prototype) : slots_(capacity + 1, prototype) {}
    TSpscRing(const TSpscRing&) = delete;
    TSpscRing& operator=(const TSpscRing&) = delete;

    size_t Capacity() const { return slots_.size() - 1; }

    // Producer: copies `value` in; false, and nothing changes, when the ring is full.
    bool TryPush(const T& value) {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t next = Next(tail);
        if (next == head_.load(std::memory_order_acquire))
            return false;
        slots_[tail] = value;
        tail_.store(next, std::memory_order_release);
        return true;
    }

    // Consumer: the oldest value, or nullptr when the ring is empty; valid until Pop.
    T* Front() {
        const size_t head = head_.load(std::memory_order_relaxed);
        return head == tail_.load(std::memory_order_acquire) ? nullptr : &slots_[head];
    }
    void Pop() {
        head_.store(Next(head_.load(std::memory_order_relaxed)), std::memory_order_release);
    }

    // Consumer: drops everything the producer has pushed so far.
    void Clear() { head_.store(tail_.load(std::memory_order_acquire), std::memory_order_release); }

private:
    size_t Next(size_t index) const { return index + 1 == slots_.size() ? 0 : index + 1; }

    std::vector<T> slots_; // one stays empty, so full and empty differ
    std::atomic<size_t> head_{0};
    std::atomic<size_t> tail_{0};
};

} // namespace sonari
