#include "SND/RiffChunk.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sonari {

namespace {

// Large enough that a file of a few MB costs a few dozen system calls.
constexpr size_t kBufferBytes = 64 * 1024;
constexpr uint32_t kRiffId = FourCC("RIFF");
constexpr uint32_t kListId = FourCC("LIST");

bool IsTyped(uint32_t id) { return id == kRiffId || id == kListId; }

bool Matches(const TRiffChunk& found, bool hasType, const TRiffChunk& wanted, TChunkKind kind) {
    switch (kind) {
    case ckAny:
        return true;
    case ckChunk:
        return found.Id == wanted.Id;
    case ckRiff:
        return found.Id == kRiffId && hasType && found.Type == wanted.Type;
    case ckList:
        return found.Id == kListId && hasType && found.Type == wanted.Type;
    }
    return false;
}

} // namespace

TRiffFile::~TRiffFile() {
    if (file_)
        std::fclose(file_);
}

int TRiffFile::OpenRead(const std::string& path) { return Open(path, false); }

int TRiffFile::OpenWrite(const std::string& path) { return Open(path, true); }

int TRiffFile::Open(const std::string& path, bool forWriting) {
    osError_ = 0;
    if (file_)
        return rrCannotOpen;
    // Non-blocking, so that a pipe named like a sound file cannot hang the open.
    const int flags =
        O_CLOEXEC | O_NONBLOCK | (forWriting ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0)
        return Fail(rrCannotOpen);
    // A folder, pipe or device has no size to check chunks against, nor seeks.
    struct stat status {};
    const int statError = fstat(fd, &status) != 0    ? errno
                          : S_ISDIR(status.st_mode)  ? EISDIR
                          : !S_ISREG(status.st_mode) ? EINVAL
                                                     : 0;
    if (statError != 0) {
        osError_ = statError;
        ::close(fd);
        return rrCannotOpen;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file_ = fdopen(fd, forWriting ? "wb" : "rb");
    if (!file_) {
        Fail(0);
        ::close(fd);
        return rrCannotOpen;
    }
    // glibc ignores the size unless it is given the buffer as well.
    buffer_ = std::make_unique<char[]>(kBufferBytes);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferBytes);
    writing_ = forWriting;
    position_ = 0;
    size_ = forWriting ? 0 : uint64_t(status.st_size);
    return rrOk;
}

int TRiffFile::Close() {
    osError_ = 0;
    if (!file_)
        return rrNotOpen;
    int result = rrOk;
    if (writing_ && std::fflush(file_) != 0)
        result = Fail(rrCannotWrite);
    if (std::fclose(file_) != 0 && result == rrOk)
        result = Fail(writing_ ? rrCannotWrite : rrCannotClose);
    file_ = nullptr;
    buffer_.reset();
    position_ = size_ = 0;
    return result;
}

int TRiffFile::Fail(int result) {
    osError_ = errno;
    return result;
}

int64_t TRiffFile::Read(void* buffer, size_t count) {
    osError_ = 0;
    if (!file_ || writing_) {
        osError_ = EBADF;
        return -1;
    }
    const size_t n = std::fread(buffer, 1, count, file_);
    position_ += n;
    if (n < count && std::ferror(file_)) {
        Fail(0);
        std::clearerr(file_);
        return -1;
    }
    return int64_t(n);
}

int64_t TRiffFile::Write(const void* buffer, size_t count) {
    osError_ = 0;
    if (!file_ || !writing_) {
        osError_ = EBADF;
        return -1;
    }
    const size_t n = std::fwrite(buffer, 1, count, file_);
    position_ += n;
    size_ = std::max(size_, position_);
    if (n < count)
        Fail(0);
    return int64_t(n);
}

int TRiffFile::Seek(uint64_t offset) {
    osError_ = 0;
    if (!file_)
        return rrNotOpen;
    if (offset == position_)
        return rrOk;
    if (offset > uint64_t(INT64_MAX) || fseeko(file_, off_t(offset), SEEK_SET) != 0)
        return Fail(rrCannotSeek);
    position_ = offset;
    return rrOk;
}

// Reads the header at `at`; the type only for RIFF/LIST chunks that hold one within `end`.
// Size comes back clipped to `end`, the size as declared in `declared`.
bool TRiffFile::ReadHeader(uint64_t at, uint64_t end, TRiffChunk& chunk, uint32_t& declared) {
    uint8_t header[12];
    if (Seek(at) != rrOk || Read(header, 8) != 8)
        return false;
    chunk = TRiffChunk{};
    chunk.Id = LoadU32Le(header);
    declared = LoadU32Le(header + 4);
    chunk.DataOffset = at + 8;
    chunk.Size = uint32_t(std::min<uint64_t>(declared, end - chunk.DataOffset));
    if (IsTyped(chunk.Id) && chunk.Size >= 4) {
        if (Read(header + 8, 4) != 4)
            return false;
        chunk.Type = LoadU32Le(header + 8);
    }
    return true;
}

int TRiffFile::Descend(TRiffChunk& chunk, const TRiffChunk* parent, TChunkKind kind) {
    osError_ = 0;
    if (!file_)
        return rrNotOpen;
    uint64_t end = size_;
    if (parent)
        end = std::min(end, parent->DataOffset + parent->Size);
    // Every step moves on by at least one header, so the search ends within the parent.
    for (uint64_t at = position_; at + 8 <= end;) {
        TRiffChunk found;
        uint32_t declared = 0;
        if (!ReadHeader(at, end, found, declared))
            return osError_ != 0 ? rrCannotRead : rrNotFound;
        const bool hasType = IsTyped(found.Id) && found.Size >= 4;
        if (Matches(found, hasType, chunk, kind)) {
            chunk = found;
            return Seek(found.DataOffset + (hasType ? 4 : 0));
        }
        at = found.DataOffset + declared + (declared & 1);
    }
    return rrNotFound;
}

int TRiffFile::Ascend(TRiffChunk& chunk) {
    osError_ = 0;
    if (!file_)
        return rrNotOpen;
    if (!chunk.Dirty)
        return Seek(chunk.DataOffset + chunk.Size + (chunk.Size & 1));
    if (position_ < chunk.DataOffset)
        return rrCannotSeek;
    const uint64_t size = position_ - chunk.DataOffset;
    if (size > UINT32_MAX)
        return rrTooLarge;
    const uint8_t pad = 0;
    if ((size & 1) && Write(&pad, 1) != 1)
        return rrCannotWrite;
    if (size != chunk.Size) {
        const uint64_t end = position_;
        uint8_t field[4];
        StoreU32Le(field, uint32_t(size));
        if (Seek(chunk.DataOffset - 4) != rrOk || Write(field, 4) != 4)
            return rrCannotWrite;
        if (int result = Seek(end); result != rrOk)
            return result;
    }
    chunk.Size = uint32_t(size);
    chunk.Dirty = false;
    return rrOk;
}

int TRiffFile::CreateChunk(TRiffChunk& chunk, TChunkKind kind) {
    osError_ = 0;
    if (!file_)
        return rrNotOpen;
    if (kind == ckRiff)
        chunk.Id = kRiffId;
    else if (kind == ckList)
        chunk.Id = kListId;
    uint8_t header[12];
    StoreU32Le(header, chunk.Id);
    StoreU32Le(header + 4, chunk.Size);
    StoreU32Le(header + 8, chunk.Type);
    const size_t length = (kind == ckRiff || kind == ckList) ? 12 : 8;
    chunk.DataOffset = position_ + 8;
    if (Write(header, length) != int64_t(length))
        return rrCannotWrite;
    chunk.Dirty = true;
    return rrOk;
}

} // namespace sonari
