#pragma once

#include "SND/SndTypes.h"
#include "engine/ProcessingChain.h"
#include "engine/RecordingFile.h"

#include <cstdint>

namespace sonari {

// One block of 1024 samples at 12000 samples/s as the displays and the window see it: what the
// streaming thread leaves for the main thread, whatever block size the chain runs with.
struct TBlockReport {
    static constexpr int32_t kBlockSize = 1024;

    TBlockReport();

    TSingleArray Input;          // after the software gain
    TSingleArray Filtered;       // after the DC blocker
    TSingleArray Processed;      // after the equalizer and dynamics
    TSingleArray SampleEnvelope; // the gain stage's instantaneous envelope
    TSingleArray SampleGain;     // and the gain it applied
    float Envelope = 0.0f;       // the smoothed envelope at the block's end
    int32_t BlockCount = 0;      // the block's number in the run
    bool Measure = false;        // the displays were on
    bool HasEnvelope = false;    // the gain stage has measured (its arrays hold something)
    bool Rendered = false;       // output went to the device: DeviceOverload tells
    bool DeviceOverload = false; // the device block's limiter clipped
    bool Recorded = false;       // the block went to the file: Progress and FileOverload tell
    bool FileOverload = false;   // the file copy's limiter clipped (Out.wav)
    TRecordingFile::TProgress Progress;
};

// Gathers the chain's blocks, of any size that divides 1024, into reports.
class TReportAccumulator {
public:
    // Starts the first report of a run.
    void Start();
    // Copies the taps of the chain's last block in; allocates nothing.
    void Add(const TProcessingChain& chain);
    // Samples gathered into the current report.
    int32_t Filled() const { return filled_; }
    bool Complete() const { return filled_ == TBlockReport::kBlockSize; }
    TBlockReport& Report() { return report_; }
    // After a complete report: the next one begins.
    void Next();

private:
    TBlockReport report_;
    int32_t filled_ = 0;
};

} // namespace sonari
