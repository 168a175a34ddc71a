#pragma once

#include "SND/EquDesign.h"
#include "SND/Fft.h"
#include "SND/SndTypes.h"

#include <array>
#include <cstdint>

namespace sonari {

// Band-pass filter and seven-band graphic equalizer by FFT fast convolution with overlap-add,
// with the gate/compressor/clipper stage working on the analytic signal of each block.
// Samples are on the 32-bit integer scale (full scale 2^31). Main thread only.
class TMicEqualizer {
public:
    static constexpr int kBandCount = 7;
    // Longest block-plus-kernels convolution (FiltKernelLen + EquKernelLen + DataBlockSize - 2).
    static constexpr int kMaxConvolution = kFftMaxSize / 2;
    // Clip level K: no envelope leaves the gain stage above it (2^30, -6.02 dBFS).
    static constexpr float kClipLevel = 1073741824.0f;

    TMicEqualizer();

    // Configuration; every setter rebuilds kernels, spectra and Response at once. A rate below
    // 2 Hz, a block or kernel length below 1, or lengths whose sum exceeds kMaxConvolution are
    // rejected with ERangeError and change nothing.
    int32_t SamplesPerSec() const { return samplesPerSec_; } // Hz, default 12000
    void SetSamplesPerSec(int32_t hz);
    int32_t DataBlockSize() const { return dataBlockSize_; } // samples per Process call
    void SetDataBlockSize(int32_t samples);
    int32_t CutoffLo() const { return cutoffLo_; } // Hz; 0 <= CutoffLo <= CutoffHi
    void SetCutoffLo(int32_t hz);
    int32_t CutoffHi() const { return cutoffHi_; } // Hz; CutoffHi <= SamplesPerSec / 2
    void SetCutoffHi(int32_t hz);
    int32_t FiltKernelLen() const { return filtKernelLen_; } // band-pass taps, default 256
    void SetFiltKernelLen(int32_t taps);
    int32_t EquKernelLen() const { return equKernelLen_; } // equalizer taps, default 512
    void SetEquKernelLen(int32_t taps);
    int32_t FFTSize() const { return fftSize_; } // M: complex bins of the 2M-point transform

    // Band gains in dB at 75 * 2^i Hz; call UpdateEqualizer after changing them. The kernel
    // reads them limited to +-kBandLimitDb (a non-number as 0 dB), so it stays finite.
    static constexpr float kBandLimitDb = TEqualizerDesign::kBandLimitDb;
    std::array<float, kBandCount> Bands{};
    // Dynamics parameters, read at every block: smoothed-envelope levels on the 2^31 scale where
    // the compressor reaches K and where the gate (1:3 expander) begins, and the compression
    // ratio. Any value is safe: a gain that works out as no number or negative mutes the
    // sample, an infinite one is left to the clipper.
    float ClipThreshold;
    float GateThreshold;
    float Compression;
    bool ClipperEnabled = false;
    bool EqualizerEnabled = true;
    bool AnalysisOn = false;
    // Smoothed envelope, carried across blocks; 1e-10 after Prepare.
    float Envelope = 1e-10f;

    // Rebuilds the equalizer after Bands changed.
    void UpdateEqualizer();
    // Starts a run: empty overlap accumulators, Envelope 1e-10. Kernels are kept.
    void Prepare();
    // Processes one block of exactly DataBlockSize samples in place; a wrong length is an
    // assertion failure (SND/MicEqual) raised before anything changes. The output is the input
    // convolved with both kernels (delay FiltKernelLen div 2 + EquKernelLen div 2), or the
    // input itself when both stages are off. Input samples that are no number count as 0 and
    // beyond +-kMaxInput as +-kMaxInput, so the output is always finite.
    static constexpr float kMaxInput = 1e15f;
    void Process(TSingleArray& data);
    // The same computation with equalizer and clipper off for the call: fills the analysis
    // arrays, leaves the signal and the output overlap untouched.
    void Analyze(const TSingleArray& data);

    // Combined band-pass and equalizer response in dB, 512 points from 30 Hz to fs/2 on the
    // display's log axis.
    const TSingleArray& Response() const { return response_; }
    const TComplexArray& FiltSpec() const { return filtSpec_; }   // band-pass spectrum / M
    const TComplexArray& TotalSpec() const { return totalSpec_; } // band-pass * equalizer / M
    // Per-sample instantaneous envelope and applied gain of the last block; empty until the
    // dynamics stage first ran.
    const TSingleArray& SampleEnvelope() const { return sampleEnvelope_; }
    const TSingleArray& SampleGain() const { return sampleGain_; }

private:
    void Configure(int32_t samplesPerSec, int32_t dataBlockSize, int32_t filtKernelLen,
                   int32_t equKernelLen);
    void ApplyCutoffs(int32_t lo, int32_t hi);
    void Rebuild();
    void Run(const TSingleArray& data, float* out);
    void Dynamics();
    float Gain(float sampleEnvelope, long double gateOutput, long double inverseRatio) const;

    int32_t samplesPerSec_ = 12000;
    int32_t dataBlockSize_ = 128;
    int32_t cutoffLo_ = 300;
    int32_t cutoffHi_ = 2700;
    int32_t filtKernelLen_ = 256;
    int32_t equKernelLen_ = 512;
    int32_t fftSize_ = 0;
    TSingleArray response_;
    TComplexArray filtSpec_;
    TComplexArray totalSpec_;
    TSingleArray sampleEnvelope_;
    TSingleArray sampleGain_;

    TFftWork fft_; // shared by every transform of the component
    TEqualizerDesign design_;
    TSingleArray overlapBuf_;   // 2M: output overlap-add accumulator
    TComplexArray analyticBuf_; // 2M: overlap-add accumulator of the analytic signal
    TComplexArray spec_;        // M: the block's packed spectrum
    TComplexArray analytic_;    // 2M: the block's analytic signal, then the gain-controlled block
};

} // namespace sonari
