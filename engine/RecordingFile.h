#pragma once

#include "SND/SndTypes.h"
#include "SND/WavFile.h"
#include "engine/SpscRing.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>

namespace sonari {

// The 5-second file of steps 3 and 4 (Voice.wav, Out.wav), 12000 samples/s mono, appended block
// by block: the first block fades in; from the 5-second mark on every block fades out and says
// the file is complete, until the owner stops. Append only queues the block and answers at once;
// a thread of its own writes it, so the streaming thread never waits for the disk. Blocks may
// come before the file is open (the device starts first, so that a device that fails never
// costs the previous file): they wait in the queue.
//
// Threads: Arm, Open and Close belong to the controlling thread; Append to one thread (the
// streaming one) from Arm to Close; WriteError to anyone.
class TRecordingFile {
public:
    static constexpr int32_t kLimit = 60000; // samples of 5 seconds
    static constexpr int32_t kRate = 12000;
    static constexpr int32_t kBlockSize = 1024; // samples per Append
    static constexpr size_t kQueuedBlocks =
        64; // more than the whole file: a stalled disk loses nothing

    struct TProgress {
        float Fraction = 0.0f; // samples appended / kLimit
        bool Complete = false; // this block was faded out at the limit
    };

    TRecordingFile();
    ~TRecordingFile();
    TRecordingFile(const TRecordingFile&) = delete;
    TRecordingFile& operator=(const TRecordingFile&) = delete;

    // Before a run that records: a new file's first block is the next one appended.
    void Arm();
    // Creates `fileName` (its folder first) with samples of `bytesPerSample` bytes and starts the
    // writer, which writes what is queued first. Exception with the reason when it cannot.
    void Open(const std::string& fileName, uint32_t bytesPerSample);
    bool IsOpen() const { return writer_.joinable(); }
    // For the files opened from now on: the samples go to a temporary file beside `fileName`,
    // which replaces it only once it has reached the 5-second mark; an unfinished or failed one
    // is removed, so the last complete recording survives.
    void SetReplaceOnlyWhenComplete(bool on) { replaceOnlyWhenComplete_ = on; }
    // Once the appending has stopped: writes what is queued and completes the file (raising the
    // first write error), or drops what is queued when no file was opened.
    void Close();
    // Queues a copy of `block` (kBlockSize samples; the caller's stays as it is) without
    // allocating. A block the writer has no room for is lost and counted.
    TProgress Append(const TSingleArray& block);
    // The first write error, "" while none; writing stops at it.
    std::string WriteError() const;
    uint64_t LostBlocks() const { return lost_.load(); }

private:
    void WriterLoop();

    void CloseWav();

    TKelWavFile wav_;
    TSpscRing<TDataBufferF> queue_;
    TDataBufferF copy_; // the block being faded, one channel
    int64_t appended_ = 0;
    bool replaceOnlyWhenComplete_ = false;
    std::string target_;    // what the temporary file replaces; "" when writing in place
    bool complete_ = false; // the 5-second mark was reached (the appending thread's, read at Close)
    std::counting_semaphore<> wake_{0}; // released once per queued block
    std::atomic<bool> closing_{false};
    std::atomic<uint64_t> lost_{0};
    std::atomic<bool> failed_{false};
    mutable std::mutex errorMutex_;
    std::string error_;
    std::thread writer_;
};

} // namespace sonari
