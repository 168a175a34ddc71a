#pragma once

#include <sys/types.h>

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sonari::test {

// Folder of the source tree and of the build tree (where bin/ and bin/Wav/ live).
std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();

// A fresh, empty folder under the system temp folder, removed with the object.
class TTempDir {
public:
    explicit TTempDir(const std::string& prefix = "sonari-test");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The message of the `E` that `action` raises; "(no exception)" when it raises none.
template <typename E = std::exception>
std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

// True when an executable of that name is on PATH.
bool HaveProgram(const std::string& name);

// Runs a shell command; returns its exit status and, when output is given, its stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Quotes a string for the shell.
std::string ShellQuote(const std::string& text);

// Whole file as bytes / writes bytes to a file.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// Sets or unsets environment variables for one test and puts the old values back afterwards.
class TScopedEnv {
public:
    TScopedEnv() = default;
    TScopedEnv(const std::string& name, std::optional<std::string> value) { Set(name, value); }
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

    void Set(const std::string& name, std::optional<std::string> value); // nullopt unsets
    void Unset(const std::string& name) { Set(name, std::nullopt); }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

// A child process, killed if it still runs when the object goes. Its standard output and
// error go to the given files, or stay this process's when none are given.
class TChild {
public:
    // `environment` ("NAME=value") replaces or adds to this process's variables; a program
    // without a folder is looked up on PATH.
    TChild(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
           const std::string& outFile = {}, const std::string& errFile = {});
    ~TChild();
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const;
    // The exit status; -1 when it did not exit normally or not within `timeout`.
    int Wait(std::chrono::milliseconds timeout = std::chrono::hours(1));
    // Largest resident set of the child in KiB, after Wait.
    long MaxRssKb() const { return maxRssKb_; }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    long maxRssKb_ = 0;
};

// A program run to its end: its exit status (as TChild::Wait gives it) and what it wrote to
// standard output and error.
struct TProgramRun {
    int Status = -1;
    std::string Out, Err;
};
TProgramRun RunProgram(const std::vector<std::string>& argv,
                       const std::vector<std::string>& environment = {},
                       std::chrono::milliseconds timeout = std::chrono::minutes(10));

// Waits up to `timeout` until the file contains `text`.
bool WaitForText(const std::filesystem::path& file, const std::string& text,
                 std::chrono::milliseconds timeout);

} // namespace sonari::test
