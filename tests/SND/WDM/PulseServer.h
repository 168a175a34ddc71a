#pragma once

#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

namespace sonari::test {

// A user-mode PulseAudio in its own folder with the sinks `modules` loads (lines of a server
// script), and an ALSA configuration `asoundrc` naming them; for real-time tests without sound
// hardware. The environment it sets is read once by ALSA and PulseAudio: make it before any of
// their calls in the process.
class TPulseServer {
public:
    TPulseServer(const std::string& modules, const std::string& asoundrc) {
        for (const char* program : {"pulseaudio", "pactl", "paplay", "parecord"})
            if (!HaveProgram(program))
                throw std::runtime_error(std::string(program) + " is missing");
        const auto run = dir_ / "run";
        const auto home = dir_ / "home";
        std::filesystem::create_directories(run);
        std::filesystem::create_directories(home);
        chmod(run.c_str(), 0700);
        WriteFileBytes(dir_ / "server.pa",
                       "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                           Socket() + "\n" + modules);
        WriteFileBytes(home / ".asoundrc", asoundrc);
        setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + Socket()).c_str(), 1);
        Start();
    }
    ~TPulseServer() { Kill(); }
    TPulseServer(const TPulseServer&) = delete;
    TPulseServer& operator=(const TPulseServer&) = delete;

    void Kill() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

    const std::filesystem::path& Dir() const { return dir_.Path(); }
    std::string Socket() const { return (dir_ / "pulse.sock").string(); }

private:
    // Our own child rather than a daemon: it dies with the test process, however that ends.
    void Start() {
        using namespace std::chrono_literals;
        const std::string script = (dir_ / "server.pa").string();
        const std::string log = "--log-target=file:" + (dir_ / "log").string();
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(1);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "-F",
                   script.c_str(), log.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ < 0)
            throw std::runtime_error("cannot start pulseaudio");
        for (int i = 0; i < 100 && RunCommand("pactl info >/dev/null 2>&1") != 0; ++i)
            std::this_thread::sleep_for(50ms);
        if (RunCommand("pactl info >/dev/null 2>&1") != 0) {
            Kill();
            throw std::runtime_error("pulseaudio does not answer");
        }
    }

    TTempDir dir_{"sonari-pulse"};
    pid_t pid_ = 0;
};

} // namespace sonari::test
