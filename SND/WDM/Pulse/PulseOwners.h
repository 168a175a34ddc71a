#pragma once

// Owners of libpulse's objects. Only the sound-server library's source files include this.

#include <pulse/pulseaudio.h>

#include <memory>

namespace sonari {

template <typename T, auto Free>
struct TPulseDeleter {
    void operator()(T* object) const { Free(object); }
};

inline void DisconnectContext(pa_context* context) {
    pa_context_disconnect(context);
    pa_context_unref(context);
}

using TMainloop = std::unique_ptr<pa_mainloop, TPulseDeleter<pa_mainloop, pa_mainloop_free>>;
using TThreadedMainloop =
    std::unique_ptr<pa_threaded_mainloop,
                    TPulseDeleter<pa_threaded_mainloop, pa_threaded_mainloop_free>>;
using TContext = std::unique_ptr<pa_context, TPulseDeleter<pa_context, DisconnectContext>>;
using TOperation = std::unique_ptr<pa_operation, TPulseDeleter<pa_operation, pa_operation_unref>>;

// Client name the server shows for our connections.
constexpr const char* kPulseClientName = "Sonari";

} // namespace sonari
