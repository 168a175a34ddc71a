#pragma once

#include "SND/SndTypes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sonari {

// Level of an amplitude on the 32-bit scale: 20 log10(x / 2147483647 + 1e-99) dBFS; silence
// gives about -1980 dBFS instead of failing.
float ToDbfs(long double x);

// Rounds half to even and limits to the 32-bit range (a non-number gives 0).
int32_t RoundToInt(long double x);

// Caption texts of the level figures: "%d dBFS" and "%d dB".
std::string DbfsCaption(int32_t db);
std::string DbCaption(int32_t db);

// Input level bar (microphone gain step): the waveform's excursion between -MAX and +MAX,
// centred in a frame of the given client width.
struct TInputBar {
    int32_t Left = 0;  // pixels from the frame's client left edge
    int32_t Width = 0; // pixels, at least 2
    bool Red = false;  // an excursion beyond 80 % of full scale: red, else bright green
};

// Bar geometry for the running minimum and maximum of the samples (32-bit scale).
TInputBar InputBarGeometry(float inMin, float inMax, int32_t clientWidth);

// Tracks the input's minimum and maximum and refreshes the bar every 5th block (BlockCount
// mod 5 = 0: the first block of a run, then every 426.7 ms). Not cleared by a new run.
class TInputMeter {
public:
    // Returns the new bar when this block refreshes it; samples that are no number are ignored.
    std::optional<TInputBar> Update(const TSingleArray& block, int32_t blockCount,
                                    int32_t clientWidth);

    float InMin = 2147483648.0f;  // running minimum since the last refresh
    float InMax = -2147483648.0f; // running maximum since the last refresh
};

// The noise mixer's figures for the p.e.p. SNR: its signal-to-noise ratio and the peak of the
// selected recording (QRM or QRN).
struct TNoiseReference {
    float SnrDb = 0.0f;
    float Peak = 0.0f; // 32-bit scale
};

// Figures of one closed statistics window, as the captions show them.
struct TOutputFigures {
    float RmsDbfs = 0.0f;          // for the output level bar
    float PeakDbfs = 0.0f;         // for the bar's peak mark
    int32_t Rms = 0;               // "V r.m.s. =" ... dBFS
    int32_t Peak = 0;              // "V peak =" ... dBFS
    int32_t PeakFactor = 0;        // "Peak Factor =" ... dB
    std::optional<int32_t> PepSnr; // "P.e.p. SNR =" ... dB; only while noise is added
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
