#pragma once

#include "SND/SndTypes.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace sonari {

// Writes what a simulated transmitter plays into a WAV file (32-bit PCM, the device's channels
// and rate, taken from the first block). Add runs in the streaming thread and only hands the
// block over; a thread of its own writes it, so the stream never waits for the disk. Blocks in
// another format than the first, or beyond kMaxQueued waiting blocks, are dropped and counted.
// The destructor writes what is queued and completes the file.
class TTxRecorder {
public:
    static constexpr size_t kMaxQueued = 64;

    explicit TTxRecorder(std::string fileName);
    ~TTxRecorder();
    TTxRecorder(const TTxRecorder&) = delete;
    TTxRecorder& operator=(const TTxRecorder&) = delete;

    // Any thread: queues a copy of the block [channels][frames] played at `samplingRate`.
    void Add(int32_t samplingRate, const TDataBufferF& block);

    const std::string& FileName() const { return fileName_; }
    uint64_t DroppedBlocks() const;
    // The first write error; "" while none happened (writing stops at the first).
    std::string Error() const;

private:
    struct TBlock {
        int32_t Rate;
        TDataBufferF Samples;
    };
    void WriterLoop();

    const std::string fileName_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TBlock> queue_;
    bool stopping_ = false;
    uint64_t dropped_ = 0;
    std::string error_;
    std::thread writer_; // last: it starts once everything above exists
};

} // namespace sonari
