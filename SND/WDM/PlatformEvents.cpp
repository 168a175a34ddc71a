#include "SND/WDM/PlatformEvents.h"

#include "SND/Exceptions.h"

#include <cerrno>
#include <string>

namespace sonari {

TEventTable::TEventTable(std::function<void()> onSet) : onSet_(std::move(onSet)) {}

THandle TEventTable::Create() {
    for (size_t i = 0; i < kCapacity; ++i) {
        bool expected = false;
        if (slots_[i].InUse.compare_exchange_strong(expected, true)) {
            slots_[i].Signalled = false;
            return static_cast<THandle>(i + 1);
        }
    }
    RaiseSystemError(EMFILE, "events");
}

TEventTable::TSlot* TEventTable::Find(THandle event) const {
    if (event < 1 || event > static_cast<THandle>(kCapacity))
        return nullptr;
    TSlot& slot = slots_[static_cast<size_t>(event - 1)];
    return slot.InUse ? &slot : nullptr;
}

void TEventTable::Close(THandle event) {
    if (TSlot* slot = Find(event))
        slot->InUse = false;
}

void TEventTable::Set(THandle event) {
    if (TSlot* slot = Find(event)) {
        slot->Signalled = true;
        if (onSet_)
            onSet_();
    }
}

void TEventTable::SetQuiet(THandle event) {
    if (TSlot* slot = Find(event))
        slot->Signalled = true;
}

void TEventTable::Reset(THandle event) {
    if (TSlot* slot = Find(event))
        slot->Signalled = false;
}

std::optional<size_t> TEventTable::FirstSet(const THandle* events, size_t count) const {
    for (size_t i = 0; i < count; ++i) {
        const TSlot* slot = Find(events[i]);
        if (!slot)
            RaiseSystemError(EBADF, "event " + std::to_string(events[i]));
        if (slot->Signalled)
            return i;
    }
    return std::nullopt;
}

bool TEventTable::Contains(const THandle* events, size_t count, THandle event) {
    for (size_t i = 0; i < count; ++i)
        if (events[i] == event)
            return true;
    return false;
}

} // namespace sonari
