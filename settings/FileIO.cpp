#include "settings/FileIO.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace sonari {

namespace fs = std::filesystem;

namespace {

// Closes the descriptor when the scope ends.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    // Closes now, reporting the error a delayed write may surface here.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Writing through a link must not replace the link by a plain file.
fs::path ResolveLinks(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec)))
        return path;
    fs::path target = fs::canonical(path, ec);
    return ec ? path : target;
}

// A name no other writer uses; O_EXCL settles the rare clash. The leading dot keeps it out of
// "*.ini" listings while it exists.
fs::path TemporaryName(const fs::path& target, unsigned attempt) {
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string suffix =
        std::to_string(::getpid()) + "-" + std::to_string(ticks) + "-" + std::to_string(attempt);
    return target.parent_path() / ("." + target.filename().string() + ".tmp-" + suffix);
}

int CreateTemporary(const fs::path& target, fs::path& name) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryName(target, attempt);
        // 0666 lets the umask decide, as for any new file.
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void SyncFolder(const fs::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // the rename itself survives a power loss; failure here changes nothing
        ::close(fd);
    }
}

} // namespace

TReadResult ReadWholeFile(const std::string& fileName, size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // O_NONBLOCK: a pipe under the file's name must not hang the program.
    TFd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? TReadResult::rrMissing : TReadResult::rrFailed;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<unsigned long long>(info.st_size) > maxBytes)
        return TReadResult::rrFailed;
    char chunk[16384];
    for (;;) {
        ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return TReadResult::rrFailed;
        if (n == 0)
            return TReadResult::rrOk;
        // The file may grow while we read it.
        if (bytes.size() + static_cast<size_t>(n) > maxBytes)
            return TReadResult::rrFailed;
        bytes.append(chunk, static_cast<size_t>(n));
    }
}

bool ReplaceFile(const std::string& fileName, std::string_view bytes) {
    if (fileName.empty())
        return false;
    fs::path target = ResolveLinks(fs::path(fileName));
    struct stat old {};
    bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return false;
    fs::path temporary;
    TFd fd(CreateTemporary(target, temporary));
    if (fd.Get() < 0)
        return false;
    bool ok = WriteAll(fd.Get(), bytes);
    if (ok && exists) {
        // Ownership may be beyond us (not root); the permissions are ours to keep.
        [[maybe_unused]] int ownerKept = ::fchown(fd.Get(), old.st_uid, old.st_gid);
        ok = ::fchmod(fd.Get(), old.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(target.parent_path());
    return true;
}

} // namespace sonari
