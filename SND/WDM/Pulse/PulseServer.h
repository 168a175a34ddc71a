#pragma once

#include "SND/WDM/SoundServer.h"

#include <chrono>

namespace sonari {

// PulseAudio, or PipeWire through its PulseAudio server, as libpulse reaches it (PULSE_SERVER,
// else the user's runtime folder). Never starts a server. A server that is absent gives up at
// once, one that does not answer after `timeout`, so a desktop without one starts as fast.
class TPulseServer : public ISoundServer {
public:
    explicit TPulseServer(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000))
        : timeout_(timeout) {}

    TServerListing Endpoints() override;
    // Watches from a thread of its own; never blocks the caller on the server.
    std::unique_ptr<IEndpointGuard> Guard(const TServerEndpoint& endpoint) override;

private:
    std::chrono::milliseconds timeout_;
};

} // namespace sonari
