#include "tests/support/SoundServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace sonari::test {

using namespace std::chrono_literals;

TSoundServer::TSoundServer(TKind kind) : kind_(kind) {
    const std::vector<std::string> programs =
        kind == skPipeWire ? std::vector<std::string>{"dbus-run-session", "pipewire", "wireplumber",
                                                      "pipewire-pulse", "pactl"}
                           : std::vector<std::string>{"pulseaudio", "pactl"};
    for (const std::string& program : programs)
        if (!HaveProgram(program))
            throw std::runtime_error(program + " is missing");
    const auto run = Dir() / "run";
    const auto home = Dir() / "home";
    std::filesystem::create_directories(run);
    std::filesystem::create_directories(home);
    chmod(run.c_str(), 0700);
    clientEnv_ = {"XDG_RUNTIME_DIR=" + run.string(),
                  "PULSE_SERVER=unix:" + (run / "pulse" / "native").string(),
                  "HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
                  "XDG_STATE_HOME=" + (home / ".state").string()};
    std::vector<std::string> serverEnv = clientEnv_;
    serverEnv[1] = "PULSE_SERVER="; // the server itself must not look for one

    std::string servers;
    if (kind == skPipeWire) {
        // the others connect to PipeWire's socket once, so it must be there first
        servers = "pipewire & servers=$!\n"
                  "while [ ! -S \"$XDG_RUNTIME_DIR/pipewire-0\" ]; do sleep 0.05; done\n"
                  "wireplumber & servers=\"$servers $!\"\n"
                  "pipewire-pulse & servers=\"$servers $!\"\n";
    } else {
        WriteFileBytes(Dir() / "server.pa",
                       "load-module module-native-protocol-unix auth-anonymous=1\n");
        servers = "pulseaudio --daemonize=no --exit-idle-time=-1 -n -F " +
                  ShellQuote((Dir() / "server.pa").string()) +
                  " --log-target=file:" + ShellQuote((Dir() / "server.log").string()) +
                  " & servers=$!\n";
    }
    // The servers run under a shell that ends them when told (TERM) or when the test process is
    // gone, so that a crashed test leaves nothing behind.
    WriteFileBytes(Dir() / "session.sh",
                   "echo $$ > " + ShellQuote((Dir() / "session.pid").string()) + "\n" + servers +
                       "trap 'kill $servers 2>/dev/null; wait; exit 0' TERM\n"
                       "while kill -0 " +
                       std::to_string(getpid()) +
                       " 2>/dev/null; do sleep 0.2; done\nkill $servers\n");
    std::vector<std::string> argv = {"/bin/sh", (Dir() / "session.sh").string()};
    if (kind == skPipeWire) // WirePlumber needs a session bus
        argv = {"/bin/sh", "-c",
                "exec dbus-run-session -- /bin/sh " + ShellQuote((Dir() / "session.sh").string())};
    const std::string log = (Dir() / "session.log").string();
    session_ = std::make_unique<TChild>(argv, serverEnv, log, log);

    // Ready when the server answers and, on PipeWire, the session manager that links streams
    // has connected.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (;;) {
        std::string clients;
        if (Pactl("list clients", &clients) == 0 &&
            (kind == skPulseAudio ||
             clients.find("application.name = \"WirePlumber\"") != std::string::npos))
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error(std::string(Name()) +
                                     " does not answer: " + ReadFileBytes(log));
        }
        std::this_thread::sleep_for(50ms);
    }
}

TSoundServer::~TSoundServer() { Stop(); }

void TSoundServer::Stop() {
    if (!session_)
        return;
    const std::string pid = ReadFileBytes(Dir() / "session.pid");
    if (!pid.empty())
        kill(std::stoi(pid), SIGTERM);
    session_->Wait(5s); // a child still running then is killed as the object goes
    session_.reset();
}

std::string TSoundServer::PulsePcm(const std::string& name, const std::string& device,
                                   const std::string& description) {
    return "pcm." + name + " { type pulse; device \"" + device +
           "\"; hint { show on; description \"" + description + "\" } }\n";
}

std::unique_ptr<TScopedEnv> TSoundServer::UseInThisProcess(const std::string& asoundrc) const {
    if (!asoundrc.empty())
        WriteFileBytes(Dir() / "home" / ".asoundrc", asoundrc);
    auto env = std::make_unique<TScopedEnv>();
    for (const std::string& entry : clientEnv_) {
        const size_t equals = entry.find('=');
        env->Set(entry.substr(0, equals), entry.substr(equals + 1));
    }
    return env;
}

int TSoundServer::Pactl(const std::string& args, std::string* output) const {
    std::string command = "env";
    for (const std::string& entry : clientEnv_)
        command += " " + ShellQuote(entry);
    return RunCommand(command + " pactl " + args + " 2>/dev/null", output);
}

bool TSoundServer::WaitFor(std::chrono::milliseconds timeout, bool listed,
                           const std::string& endpoint) const {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
        std::string listing; // pactl's output is appended
        Pactl("list short sinks", &listing);
        Pactl("list short sources", &listing);
        if ((listing.find("\t" + endpoint + "\t") != std::string::npos) == listed)
            return true;
    }
    return false;
}

std::string TSoundServer::Load(const std::string& moduleArgs, const std::string& endpoint) {
    std::string index;
    if (Pactl("load-module " + moduleArgs, &index) != 0 || !WaitFor(5s, true, endpoint))
        throw std::runtime_error("cannot load " + moduleArgs);
    return index.substr(0, index.find('\n'));
}

std::string TSoundServer::LoadSink(const std::string& name, const std::string& description) {
    return Load("module-null-sink sink_name=" + name +
                    " sink_properties=device.description=" + description,
                name);
}

void TSoundServer::Unload(const std::string& module, const std::string& endpoint) {
    if (Pactl("unload-module " + module) != 0 || !WaitFor(5s, false, endpoint))
        throw std::runtime_error("cannot unload module " + module);
}

std::unique_ptr<TChild> TSoundServer::Spawn(const std::string& command, const std::string& outFile,
                                            const std::string& errFile) const {
    return std::make_unique<TChild>(std::vector<std::string>{"/bin/sh", "-c", "exec " + command},
                                    clientEnv_, outFile, errFile);
}

TSilentServer::TSilentServer(const std::filesystem::path& socketPath)
    : listener_(socket(AF_UNIX, SOCK_STREAM, 0)), address_("unix:" + socketPath.string()) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 64) != 0) {
        if (listener_ >= 0)
            close(listener_);
        throw std::runtime_error("cannot listen on " + socketPath.string());
    }
}

TSilentServer::~TSilentServer() { close(listener_); }

} // namespace sonari::test
