#pragma once

#include "SND/SndTypes.h"

#include <cstdint>
#include <optional>

namespace sonari {

// The input's excursion since the last report, as fractions of full scale (-1..+1 is full
// scale: the 32-bit scale divided by 2^31 - 1).
struct TInputLevels {
    float Min = 0.0f;
    float Max = 0.0f;
};

// Tracks the input's minimum and maximum and reports them every 5th block (BlockCount mod 5 = 0:
// the first block of a run, then every 426.7 ms). Not cleared by a new run.
class TInputMeter {
public:
    // Returns the excursion when this block closes a report; samples that are no number are
    // ignored.
    std::optional<TInputLevels> Update(const TSingleArray& block, int32_t blockCount);

    float InMin = 2147483648.0f;  // running minimum since the last report, 32-bit scale
    float InMax = -2147483648.0f; // running maximum since the last report, 32-bit scale
};

// The noise mixer's figures for the p.e.p. SNR: its signal-to-noise ratio and the peak of the
// selected recording (QRM or QRN).
struct TNoiseReference {
    float SnrDb = 0.0f;
    float Peak = 0.0f; // 32-bit scale
};

// Figures of one closed statistics window.
struct TOutputFigures {
    float RmsDbfs = 0.0f;           // "V r.m.s."
    float PeakDbfs = 0.0f;          // "V peak"; the peak factor is PeakDbfs - RmsDbfs
    std::optional<double> PepSnrDb; // "P.e.p. SNR", only while noise is added
};

// Output statistics over windows of 25 blocks counted from the engine's BlockCount, on the
// 12000 samples/s signal after the dynamics stage and before noise mixing.
class TOutputStats {
public:
    static constexpr int32_t kWindowBlocks = 25;

    // Adds a block; returns the figures when this is the window's last block (BlockCount mod
    // 25 = 24). BlockCount 0 starts a new window. noise: nullptr unless noise is being added.
    // Samples that are no number are left out.
    std::optional<TOutputFigures> Update(const TSingleArray& block, int32_t blockCount,
                                         const TNoiseReference* noise);

    float OutSumSq = 0.0f; // sum of squares of the window, accumulated in a float
    float OutPeak = 0.0f;  // largest magnitude of the window
};

// Per-block level histograms of the envelope entering and leaving the gain stage: bin k counts
// the samples k dB below 2^31 (bin 0 also everything louder, bin 80 everything at or below
// -80 dB).
class THistograms {
public:
    static constexpr int kBins = 81;

    // Builds both histograms from the equalizer's per-sample arrays of the current block
    // (sampleGain as long as sampleEnvelope). False, and nothing changes, while the envelope
    // array is still empty.
    bool Collect(const TSingleArray& sampleEnvelope, const TSingleArray& sampleGain);

    const TIntegerArray& InHistogram() const { return in_; }
    const TIntegerArray& OutHistogram() const { return out_; }

private:
    TIntegerArray in_, out_;
    TIntegerArray inWork_ = TIntegerArray(kBins, 0), outWork_ = TIntegerArray(kBins, 0);
};

} // namespace sonari
