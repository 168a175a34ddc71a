#pragma once

#include "SND/SndTypes.h"
#include "SND/WavFile.h"

#include <cstdint>
#include <string>

namespace sonari {

// The 5-second file of steps 3 and 4 (Voice.wav, Out.wav), 12000 samples/s mono, written block
// by block: a run's first block fades in; from the 5-second mark on every block fades out and
// says the file is complete, until the owner stops.
class TRecordingFile {
public:
    static constexpr int32_t kLimit = 60000; // samples of 5 seconds
    static constexpr int32_t kRate = 12000;

    struct TProgress {
        float Fraction = 0.0f; // samples written / kLimit
        bool Complete = false; // this block was faded out at the limit
    };

    TRecordingFile();

    // Creates `fileName` (its folder first) with samples of `bytesPerSample` bytes. Exception with
    // the reason when it cannot.
    void Open(const std::string& fileName, uint32_t bytesPerSample);
    bool IsOpen() const { return wav_.IsOpen(); }
    // For the files opened from now on: the samples go to a temporary file beside `fileName`,
    // which replaces it only once it has reached the 5-second mark; an unfinished or failed one
    // is removed, so the last complete recording survives.
    void SetReplaceOnlyWhenComplete(bool on) { replaceOnlyWhenComplete_ = on; }
    // Completes the file.
    void Close();
    // Appends a copy of `block` (the caller's stays as it is).
    TProgress Append(const TSingleArray& block, bool firstBlock);

private:
    TKelWavFile wav_;
    TDataBufferF copy_; // one channel
    bool replaceOnlyWhenComplete_ = false;
    std::string target_; // what the temporary file replaces; "" when writing in place
    bool complete_ = false;
};

} // namespace sonari
