#include "SND/WDM/Pulse/PulseOwners.h"
#include "SND/WDM/Pulse/PulseServer.h"

#include <unistd.h>

#include <atomic>
#include <string>

// Ends this process's streams of one direction when their endpoint is removed: a server would
// move them to another endpoint, and the operator's voice would go out of the speakers (or the
// transmitter would take another microphone) with no word said. The server disconnects the
// pulse plugin's own connection of each such stream: a stream alone, killed, would count as an
// overrun, and its restart would land on the server's default endpoint.

namespace sonari {

namespace {

class TPulseGuard : public IEndpointGuard {
public:
    explicit TPulseGuard(const TServerEndpoint& endpoint)
        : endpoint_(endpoint), pid_(std::to_string(getpid())) {}

    // False when the guard cannot watch; everything after runs in the loop's thread.
    bool Start() {
        loop_.reset(pa_threaded_mainloop_new());
        if (!loop_)
            return false;
        context_.reset(pa_context_new(pa_threaded_mainloop_get_api(loop_.get()), kPulseClientName));
        if (!context_)
            return false;
        pa_context_set_state_callback(context_.get(), OnState, this);
        if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return false;
        return pa_threaded_mainloop_start(loop_.get()) == 0;
    }

    bool Removed() const override { return removed_.load(std::memory_order_acquire); }

    ~TPulseGuard() override {
        if (loop_)
            pa_threaded_mainloop_stop(loop_.get());
        context_.reset(); // the loop's thread has ended: no callback can run any more
    }

private:
    static void OnState(pa_context* context, void* self) {
        if (pa_context_get_state(context) != PA_CONTEXT_READY)
            return;
        auto* guard = static_cast<TPulseGuard*>(self);
        pa_context_set_subscribe_callback(context, OnEvent, self);
        const bool sink = guard->endpoint_.IsSink;
        const char* name = guard->endpoint_.Name.c_str();
        TOperation(pa_context_subscribe(
            context, sink ? PA_SUBSCRIPTION_MASK_SINK : PA_SUBSCRIPTION_MASK_SOURCE, nullptr,
            nullptr));
        TOperation(sink ? pa_context_get_sink_info_by_name(context, name, OnSink, self)
                        : pa_context_get_source_info_by_name(context, name, OnSource, self));
    }

    static void OnSink(pa_context*, const pa_sink_info* info, int eol, void* self) {
        if (eol == 0 && info)
            static_cast<TPulseGuard*>(self)->index_ = info->index;
    }

    static void OnSource(pa_context*, const pa_source_info* info, int eol, void* self) {
        if (eol == 0 && info)
            static_cast<TPulseGuard*>(self)->index_ = info->index;
    }

    static void OnEvent(pa_context* context, pa_subscription_event_type_t event, uint32_t index,
                        void* self) {
        auto* guard = static_cast<TPulseGuard*>(self);
        if ((event & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_REMOVE ||
            index != guard->index_ || index == PA_INVALID_INDEX)
            return;
        // By now the server has moved the streams elsewhere: end every one of ours.
        guard->removed_.store(true, std::memory_order_release);
        TOperation(guard->endpoint_.IsSink
                       ? pa_context_get_sink_input_info_list(context, OnSinkInput, self)
                       : pa_context_get_source_output_info_list(context, OnSourceOutput, self));
    }

    bool IsOurs(const pa_proplist* properties) const {
        const char* pid = pa_proplist_gets(properties, PA_PROP_APPLICATION_PROCESS_ID);
        return pid && pid_ == pid;
    }

    static void OnSinkInput(pa_context* context, const pa_sink_input_info* info, int eol,
                            void* self) {
        if (eol == 0 && info && static_cast<TPulseGuard*>(self)->IsOurs(info->proplist))
            TOperation(pa_context_kill_client(context, info->client, nullptr, nullptr));
    }

    static void OnSourceOutput(pa_context* context, const pa_source_output_info* info, int eol,
                               void* self) {
        if (eol == 0 && info && static_cast<TPulseGuard*>(self)->IsOurs(info->proplist))
            TOperation(pa_context_kill_client(context, info->client, nullptr, nullptr));
    }

    const TServerEndpoint endpoint_;
    const std::string pid_;
    uint32_t index_ = PA_INVALID_INDEX; // the endpoint's, once the server has told
    std::atomic<bool> removed_{false};
    TThreadedMainloop loop_;
    TContext context_;
};

} // namespace

std::unique_ptr<IEndpointGuard> TPulseServer::Guard(const TServerEndpoint& endpoint) {
    auto guard = std::make_unique<TPulseGuard>(endpoint);
    if (!guard->Start())
        return nullptr;
    return guard;
}

} // namespace sonari
