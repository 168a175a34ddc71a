#pragma once

#include <memory>
#include <string>
#include <vector>

namespace sonari {

// One output (sink) or input (source) of a PulseAudio-compatible sound server.
struct TServerEndpoint {
    std::string Name;        // the server's name for it, stable across restarts
    std::string Description; // as the desktop shows it: "USB Audio CODEC Analog Stereo"
    bool IsSink = false;     // an output; else an input
};

// What a server offered when asked.
struct TServerListing {
    std::vector<TServerEndpoint> Endpoints;
    // A server took the connection but did not answer in time: anything else that connects to
    // it (the PCMs of ALSA's pulse plugin too) would wait as long.
    bool Silent = false;
};

// Held while a stream to or from an endpoint runs; see ISoundServer::Guard.
class IEndpointGuard {
public:
    virtual ~IEndpointGuard() = default;
    // The endpoint went away and the guard ended its streams; any thread.
    virtual bool Removed() const = 0;
};

// What the platform asks of a sound server beside the streams themselves. A server moves the
// streams of an endpoint that goes away to another one; sound meant for the radio must not
// come out of the speakers, so a guarded stream is ended instead.
class ISoundServer {
public:
    virtual ~ISoundServer() = default;

    // Outputs, then inputs that are not monitors of an output, in the server's order. None
    // when no server answers within the time limit the implementation sets.
    virtual TServerListing Endpoints() = 0;
    // Until the result goes: should `endpoint` disappear, this process's streams of its
    // direction are ended rather than moved elsewhere. Null when no server answers.
    virtual std::unique_ptr<IEndpointGuard> Guard(const TServerEndpoint& endpoint) = 0;
};

} // namespace sonari
