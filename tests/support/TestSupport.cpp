#include "tests/support/TestSupport.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace sonari::test {

namespace fs = std::filesystem;

fs::path SourceDir() { return fs::path(SONARI_SOURCE_DIR); }
fs::path BinaryDir() { return fs::path(SONARI_BINARY_DIR); }

TTempDir::TTempDir(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    // A test may leave read-only folders behind; make them writable so they can go.
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + ShellQuote(name) + " >/dev/null 2>&1") == 0;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> chunk{};
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        if (output)
            output->append(chunk.data(), n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TScopedEnv::~TScopedEnv() {
    for (const auto& [name, value] : saved_)
        value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
}

void TScopedEnv::Set(const std::string& name, std::optional<std::string> value) {
    if (!saved_.count(name)) {
        const char* old = std::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
}

TChild::TChild(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& outFile, const std::string& errFile) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        if (std::none_of(environment.begin(), environment.end(),
                         [&](const std::string& own) { return own.starts_with(name); }))
            env.push_back(text);
    }
    env.insert(env.end(), environment.begin(), environment.end());
    auto pointers = [](const std::vector<std::string>& strings) {
        std::vector<char*> list;
        for (const std::string& s : strings)
            list.push_back(const_cast<char*>(s.c_str()));
        list.push_back(nullptr);
        return list;
    };
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int mode = O_WRONLY | O_CREAT | O_TRUNC;
    if (!outFile.empty())
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), mode, 0644);
    if (!errFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), mode, 0644);
    const std::vector<char*> args = pointers(argv), envp = pointers(env);
    if (posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), envp.data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

TChild::~TChild() {
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

// Never with a pid of -1 or 0: that would signal every process, or the whole group.
void TChild::Signal(int signal) const {
    if (pid_ > 0 && !ended_)
        kill(pid_, signal);
}

int TChild::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0 && !ended_) {
        int status = 0;
        rusage usage{};
        const pid_t done = wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
            ended_ = true;
            maxRssKb_ = usage.ru_maxrss;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 || std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

TProgramRun RunProgram(const std::vector<std::string>& argv,
                       const std::vector<std::string>& environment,
                       std::chrono::milliseconds timeout) {
    const TTempDir dir("sonari-run");
    const std::string out = (dir / "out").string(), err = (dir / "err").string();
    TChild child(argv, environment, out, err);
    const int status = child.Wait(timeout);
    return {status, ReadFileBytes(out), ReadFileBytes(err)};
}

bool WaitForText(const fs::path& file, const std::string& text, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::ifstream in(file, std::ios::binary);
        if (std::string(std::istreambuf_iterator<char>(in), {}).find(text) != std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace sonari::test
