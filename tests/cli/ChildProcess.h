#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

extern char** environ;

namespace sonari::test {

// sonari-cli of this build tree.
inline std::string CliPath() { return (BinaryDir() / "bin" / "sonari-cli").string(); }

// A child process with its standard output and error in files.
class TChild {
public:
    // Starts `argv` with the current environment plus `extraEnvironment` ("NAME=value").
    TChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
           const std::string& outFile, const std::string& errFile) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const std::vector<char*> args = Pointers(argv), envp = Pointers(env);
        if (posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TChild() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const { kill(pid_, signal); }

    // Waits for the end; the exit status (-1 when it did not exit normally).
    int Wait() {
        int status = 0;
        rusage usage{};
        wait4(pid_, &status, 0, &usage);
        waited_ = true;
        maxRssKb_ = usage.ru_maxrss;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Largest resident set of the child, KiB; after Wait.
    long MaxRssKb() const { return maxRssKb_; }

private:
    static std::vector<char*> Pointers(const std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (const std::string& s : strings)
            pointers.push_back(const_cast<char*>(s.c_str()));
        pointers.push_back(nullptr);
        return pointers;
    }

    pid_t pid_ = -1;
    bool waited_ = false;
    long maxRssKb_ = 0;
};

// Waits up to `timeout` until the file contains `text`.
inline bool WaitForText(const std::string& file, const std::string& text,
                        std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        if (ReadFileBytes(file).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace sonari::test
