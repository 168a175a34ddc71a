#pragma once

#include "tests/support/TestSupport.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sonari::test {

// A private sound server for one test: PulseAudio, or PipeWire with WirePlumber and its
// PulseAudio server in a session bus of its own. Everything lives in a temporary folder; the
// processes end with the object, or within a second of the test process should it die.
class TSoundServer {
public:
    enum TKind { skPulseAudio, skPipeWire };

    // Raises std::runtime_error when a program is missing or the server does not answer.
    explicit TSoundServer(TKind kind);
    ~TSoundServer();
    TSoundServer(const TSoundServer&) = delete;
    TSoundServer& operator=(const TSoundServer&) = delete;

    const char* Name() const { return kind_ == skPipeWire ? "PipeWire" : "PulseAudio"; }
    const std::filesystem::path& Dir() const { return dir_.Path(); }
    // Points this process at the server (and keeps it out of the user's own folders) for as
    // long as the result lives; `asoundrc` becomes ALSA's configuration of the server's home.
    std::unique_ptr<TScopedEnv> UseInThisProcess(const std::string& asoundrc = {}) const;
    // ALSA's configuration of a PCM `name` on the server's `device`, listed as `description`.
    static std::string PulsePcm(const std::string& name, const std::string& device,
                                const std::string& description);

    // Runs `pactl ARGS` as a client; its exit status, and its output when asked for.
    int Pactl(const std::string& args, std::string* output = nullptr) const;
    // Loads a module and waits until the endpoint named `endpoint` is listed; the module's
    // index. Raises std::runtime_error when that fails.
    std::string Load(const std::string& moduleArgs, const std::string& endpoint);
    // A null sink "name" that the desktop shows as "description".
    std::string LoadSink(const std::string& name, const std::string& description);
    // Unloads a module and waits until `endpoint` has gone.
    void Unload(const std::string& module, const std::string& endpoint);
    // Starts a client program (a shell command line, no "exec" needed) with this server.
    std::unique_ptr<TChild> Spawn(const std::string& command, const std::string& outFile = {},
                                  const std::string& errFile = {}) const;
    // Ends the server now, as a crash would for its clients.
    void Stop();

private:
    bool WaitFor(std::chrono::milliseconds timeout, bool listed, const std::string& endpoint) const;

    TKind kind_;
    TTempDir dir_{"sonari-server"};
    std::vector<std::string> clientEnv_;
    std::unique_ptr<TChild> session_;
};

// A hung sound server: a socket that takes connections into its backlog and never answers.
class TSilentServer {
public:
    // Raises std::runtime_error when the socket cannot be made.
    explicit TSilentServer(const std::filesystem::path& socketPath);
    ~TSilentServer();
    TSilentServer(const TSilentServer&) = delete;
    TSilentServer& operator=(const TSilentServer&) = delete;

    // What PULSE_SERVER names it by.
    const std::string& Address() const { return address_; }

private:
    int listener_ = -1;
    std::string address_;
};

} // namespace sonari::test
