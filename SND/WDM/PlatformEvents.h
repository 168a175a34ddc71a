#pragma once

#include "SND/WDM/AudioPlatform.h"

#include <array>
#include <atomic>
#include <functional>
#include <optional>

namespace sonari {

// Manual-reset events for the platforms: lock-free slots, so SetEvent is safe from any thread
// while another waits. Handles are slot numbers + 1.
class TEventTable {
public:
    static constexpr size_t kCapacity = 64;

    // Called after every SetEvent, so a waiting platform can wake up.
    explicit TEventTable(std::function<void()> onSet);

    // A new clear event; raises EOSError when all slots are in use.
    THandle Create();
    void Close(THandle event);
    void Set(THandle event);
    // Sets without calling the hook: for a platform that signals from inside its own wait.
    void SetQuiet(THandle event);
    void Reset(THandle event);
    // Position in `events` of the first signalled one, or nothing when none is; raises EOSError
    // for a handle that is not an open event.
    std::optional<size_t> FirstSet(const THandle* events, size_t count) const;
    static bool Contains(const THandle* events, size_t count, THandle event);

private:
    struct TSlot {
        std::atomic<bool> InUse{false};
        std::atomic<bool> Signalled{false};
    };
    // The open slot of a handle, or null; slots are atomics, so lookups from const members may
    // hand them out.
    TSlot* Find(THandle event) const;

    mutable std::array<TSlot, kCapacity> slots_;
    std::function<void()> onSet_;
};

} // namespace sonari
