#pragma once

#include "SND/Fft.h"
#include "SND/SndTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace sonari {

// Turns a stream of blocks into a 512-point power spectrum in dB on a logarithmic frequency
// axis (0.005 .. 1 of the Nyquist frequency: 30 Hz to 5938 Hz at 12000 samples/s), both of the
// last 2048-sample frame (50 % overlap) and averaged in dB over the first MaxCount blocks.
// Samples are on the 32-bit integer scale. Main thread only.
class TLogFreqSpectrum {
public:
    static constexpr int kPoints = 512;       // points of the dB spectra
    static constexpr int kFrameLength = 2048; // windowed samples per frame
    static constexpr int kMaxBlock = 1024;    // longest block Process accepts

    TLogFreqSpectrum();

    // Adds a block of 1..kMaxBlock samples, the same length on every call until Reset (else an
    // assertion failure, SND/LogFreq, before anything changes). accumulate: the frame enters
    // the average. True when a new frame was analysed (SpectrumDb changed).
    bool Process(const TSingleArray& data, bool accumulate);
    // Forgets everything: SpectrumDb and AverageDb are empty until the next Process.
    void Reset();

    // Averaging stops once Count exceeds MaxCount (blocks).
    int32_t MaxCount = 200;
    // Blocks passed to Process since creation or Reset.
    int32_t Count() const { return count_; }
    // dB spectrum of the last frame; empty before the first Process.
    const TSingleArray& SpectrumDb() const { return spectrumDb_; }
    // Mean of the dB spectra of the averaged frames; empty before the first Process.
    const TSingleArray& AverageDb() const { return averageDb_; }

private:
    void Start(size_t blockLength);
    void AnalyseFrame();
    void Rebin();

    TFftWork fft_;
    TSingleArray window_; // BlackmanHarris(i / kFrameLength)
    TSingleArray frame_;  // 2 * kFrameLength: the windowed frame, zero-padded, transformed
    TSingleArray power_;  // kFrameLength bins; bin 0 (DC) ignored
    // Where each point of the log axis reads the power: the mean of bins lo..hi (a band), or an
    // interpolation between bins lo and lo + 1 with weight t.
    std::array<bool, kPoints> binIsBand_{};
    std::array<int32_t, kPoints> binLo_{};
    std::array<int32_t, kPoints> binHi_{};
    std::array<float, kPoints> binT_{};

    size_t blockLength_ = 0;
    int32_t halfBlocks_ = 0; // H: blocks per half frame
    TSingleArray olderHalf_; // H blocks
    TSingleArray newerHalf_; // H blocks, being filled
    TSingleArray logPower_;
    TSingleArray sumDb_;
    TSingleArray spectrumDb_;
    TSingleArray averageDb_;
    int32_t count_ = 0;
};

} // namespace sonari
