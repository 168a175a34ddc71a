#include "SND/WDM/Pulse/PulseOwners.h"
#include "SND/WDM/Pulse/PulseServer.h"

#include <chrono>

// Lists the sinks and sources with a main loop driven here, every wait bounded by one deadline.

namespace sonari {

namespace {

using Clock = std::chrono::steady_clock;

struct TListing {
    std::vector<TServerEndpoint> Sinks;
    std::vector<TServerEndpoint> Sources;
};

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* listing) {
    if (eol == 0 && info)
        static_cast<TListing*>(listing)->Sinks.push_back(
            {info->name, info->description ? info->description : info->name, true});
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* listing) {
    // A monitor repeats what an output plays: not a microphone.
    if (eol == 0 && info && info->monitor_of_sink == PA_INVALID_INDEX)
        static_cast<TListing*>(listing)->Sources.push_back(
            {info->name, info->description ? info->description : info->name, false});
}

// Runs the loop until `done` holds; false when the deadline passed or the loop failed first.
template <typename F>
bool RunUntil(pa_mainloop* loop, Clock::time_point deadline, F done) {
    while (!done()) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

bool Finished(pa_operation* operation) {
    return pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
}

} // namespace

TServerListing TPulseServer::Endpoints() {
    const Clock::time_point deadline = Clock::now() + timeout_;
    TServerListing none;
    const TMainloop loop(pa_mainloop_new());
    if (!loop)
        return none;
    const TContext context(pa_context_new(pa_mainloop_get_api(loop.get()), kPulseClientName));
    if (!context || pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return none;
    // an absent server fails at once; one that took the connection may never answer
    const auto waited = [&](auto done) {
        if (RunUntil(loop.get(), deadline, done))
            return true;
        none.Silent = Clock::now() >= deadline;
        return false;
    };
    pa_context_state_t state = PA_CONTEXT_UNCONNECTED;
    if (!waited([&] {
            state = pa_context_get_state(context.get());
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        }) ||
        state != PA_CONTEXT_READY)
        return none;

    TListing listing;
    const TOperation sinks(pa_context_get_sink_info_list(context.get(), OnSink, &listing));
    const TOperation sources(pa_context_get_source_info_list(context.get(), OnSource, &listing));
    if (!sinks || !sources ||
        !waited([&] { return Finished(sinks.get()) && Finished(sources.get()); }) ||
        pa_operation_get_state(sinks.get()) != PA_OPERATION_DONE ||
        pa_operation_get_state(sources.get()) != PA_OPERATION_DONE)
        return none;
    TServerListing answer;
    answer.Endpoints = std::move(listing.Sinks);
    answer.Endpoints.insert(answer.Endpoints.end(), listing.Sources.begin(), listing.Sources.end());
    return answer;
}

} // namespace sonari
