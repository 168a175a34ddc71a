#pragma once

#include "SND/WDM/AudioPlatform.h"

#include <utility>

namespace sonari {

// Owns one platform object and closes it when it goes, so that no error path has to remember
// to. `Empty` is the value that means "nothing open".
template <void (IAudioPlatform::*Close)(THandle) noexcept, THandle Empty>
class TPlatformHandle {
public:
    TPlatformHandle() = default;
    // Takes over `handle`, which `platform` has just opened.
    TPlatformHandle(IAudioPlatform& platform, THandle handle)
        : platform_(&platform), handle_(handle) {}
    ~TPlatformHandle() { Reset(); }
    TPlatformHandle(TPlatformHandle&& other) noexcept
        : platform_(other.platform_), handle_(std::exchange(other.handle_, Empty)) {}
    TPlatformHandle& operator=(TPlatformHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            platform_ = other.platform_;
            handle_ = std::exchange(other.handle_, Empty);
        }
        return *this;
    }

    THandle Get() const { return handle_; }
    bool IsOpen() const { return handle_ != Empty; }
    // Closes the object now.
    void Reset() noexcept {
        if (handle_ != Empty)
            (platform_->*Close)(std::exchange(handle_, Empty));
    }

private:
    IAudioPlatform* platform_ = nullptr;
    THandle handle_ = Empty;
};

using TFilterHandle = TPlatformHandle<&IAudioPlatform::CloseFilter, kClosedHandle>;
using TPinHandle = TPlatformHandle<&IAudioPlatform::ClosePin, 0>;
using TEventHandle = TPlatformHandle<&IAudioPlatform::CloseEvent, 0>;

} // namespace sonari
