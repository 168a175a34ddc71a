#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace sonari {

// A four-character code as stored in the file: the first character in the lowest byte.
constexpr uint32_t FourCC(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
           uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

// Little-endian 32-bit fields of chunk headers.
inline uint32_t LoadU32Le(const void* bytes) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreU32Le(void* bytes, uint32_t value) {
    auto* p = static_cast<uint8_t*>(bytes);
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(value >> (8 * i));
}

// Result codes of the chunk layer; rrOk (0) is success.
enum TRiffResult : int {
    rrOk = 0,
    rrCannotOpen = 1,
    rrNotFound = 2, // no matching chunk before the end of the parent
    rrCannotRead = 3,
    rrCannotWrite = 4,
    rrCannotSeek = 5,
    rrCannotClose = 6,
    rrTooLarge = 7, // a chunk outgrew the 32-bit size field
    rrNotOpen = 8,
};

// How Descend and CreateChunk treat a chunk.
enum TChunkKind {
    ckAny,   // Descend: the chunk at the current position, whatever it is
    ckChunk, // a plain chunk with identifier Id
    ckRiff,  // "RIFF" with form type Type
    ckList,  // "LIST" with list type Type
};

// One chunk of a file: identifier, size, type and where its data lies.
struct TRiffChunk {
    uint32_t Id = 0;
    // Data bytes without the 8-byte header (the type counts for RIFF/LIST). When reading it is
    // clipped to what the parent chunk (or the file) really holds.
    uint32_t Size = 0;
    uint32_t Type = 0;       // form or list type of a RIFF/LIST chunk
    uint64_t DataOffset = 0; // file offset of the data (of the type for RIFF/LIST)
    bool Dirty = false;      // made by CreateChunk: Ascend writes the final size
};

// Buffered RIFF file I/O: descend into chunks, ascend with size fix-up, create chunks. Calls
// return a TRiffResult, or a byte count (-1 on failure) for Read and Write; nothing throws.
// One file per object; not shared between threads.
class TRiffFile {
public:
    TRiffFile() = default;
    ~TRiffFile();
    TRiffFile(const TRiffFile&) = delete;
    TRiffFile& operator=(const TRiffFile&) = delete;

    // An existing regular file, for reading.
    int OpenRead(const std::string& path);
    // Creates or truncates the file, for writing.
    int OpenWrite(const std::string& path);
    // Flushes and closes; the handle is released whatever the result.
    int Close();
    bool IsOpen() const { return file_ != nullptr; }

    // Searches forward from the current position, within `parent` (or the whole file), for a
    // chunk of the given kind; leaves the position at the chunk's data (after the type for
    // RIFF/LIST). ckChunk matches chunk.Id, ckRiff/ckList match chunk.Type.
    int Descend(TRiffChunk& chunk, const TRiffChunk* parent, TChunkKind kind);
    // Moves past the end of the chunk and its pad byte. A chunk made by CreateChunk gets its
    // size (written data up to the current position) and, for an odd size, a zero pad byte.
    int Ascend(TRiffChunk& chunk);
    // Writes a chunk header at the current position: Id (or "RIFF"/"LIST") and Size, plus
    // Type for RIFF/LIST.
    int CreateChunk(TRiffChunk& chunk, TChunkKind kind);

    // Bytes read (short at the end of the file), or -1.
    int64_t Read(void* buffer, size_t count);
    // Bytes written, or -1.
    int64_t Write(const void* buffer, size_t count);
    int Seek(uint64_t offset);

    uint64_t Position() const { return position_; }
    // Bytes in the file: as opened for reading, as written so far for writing.
    uint64_t FileSize() const { return size_; }
    // The system's error number behind the last failure, 0 if none.
    int LastOSError() const { return osError_; }

private:
    int Open(const std::string& path, bool forWriting);
    int Fail(int result);
    bool ReadHeader(uint64_t at, uint64_t end, TRiffChunk& chunk, uint32_t& declared);

    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_; // the stream's buffer, released after it
    bool writing_ = false;
    uint64_t position_ = 0;
    uint64_t size_ = 0;
    int osError_ = 0;
};

} // namespace sonari
