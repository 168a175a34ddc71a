#pragma once

#include "SND/EquDesign.h"
#include "SND/Fft.h"
#include "SND/GainLaw.h"
#include "SND/OvershootControl.h"
#include "SND/SndTypes.h"

#include <array>
#include <cstdint>

namespace sonari {

// What the equalizer's setters store and derive: everything Process reads besides the signal
// and its own history.
struct TEqualizerParameters {
    std::array<float, 7> Bands{}; // dB
    int32_t CutoffLo = 300;       // Hz
    int32_t CutoffHi = 2700;      // Hz
    float ClipThreshold = 0.0f;   // 2^31 scale
    float GateThreshold = 0.0f;   // 2^31 scale
    float Compression = 1.0f;     // input dB per output dB
    bool EqualizerEnabled = true;
    bool ClipperEnabled = false;
    bool AnalysisOn = false;
    bool OvershootControl = true; // acts while the clipper does
    // derived at once by the setters
    TGainLaw GainLaw;        // of ClipThreshold, GateThreshold and Compression
    TComplexArray FiltSpec;  // band-pass spectrum / M
    TComplexArray TotalSpec; // band-pass * equalizer / M
    // What the overshoot control subtracts: the analytic impulse response of the band two kernel
    // bins inside the cut-offs, 2 (FiltKernelLen div 2) + 1 taps centred on the middle one.
    TComplexArray OvershootPulse;
};

// Band-pass filter and seven-band graphic equalizer by FFT fast convolution with overlap-add,
// with the gate/compressor/clipper stage working on the analytic signal of each block and, after
// its second band-pass, the overshoot control.
// Samples are on the 32-bit integer scale (full scale 2^31). One thread at a time; another
// thread's edits arrive whole through SetParameters.
class TMicEqualizer {
public:
    static constexpr int kBandCount = 7;
    // Longest block-plus-kernels convolution (FiltKernelLen + EquKernelLen + DataBlockSize - 2).
    static constexpr int kMaxConvolution = kFftMaxSize / 2;
    // Clip level K: no envelope leaves the gain stage above it (2^30, -6.02 dBFS).
    static constexpr float kClipLevel = TGainLaw::kClipLevel;

    TMicEqualizer();

    // Configuration; every setter rebuilds kernels, spectra and Response at once. A rate below
    // 2 Hz, a block or kernel length below 1, or lengths whose sum exceeds kMaxConvolution are
    // rejected with ERangeError and change nothing.
    int32_t SamplesPerSec() const { return samplesPerSec_; } // Hz, default 12000
    void SetSamplesPerSec(int32_t hz);
    int32_t DataBlockSize() const { return dataBlockSize_; } // samples per Process call
    void SetDataBlockSize(int32_t samples);
    int32_t CutoffLo() const { return parameters_.CutoffLo; } // Hz; 0 <= CutoffLo <= CutoffHi
    void SetCutoffLo(int32_t hz);
    int32_t CutoffHi() const { return parameters_.CutoffHi; } // Hz; CutoffHi <= SamplesPerSec / 2
    void SetCutoffHi(int32_t hz);
    int32_t FiltKernelLen() const { return filtKernelLen_; } // band-pass taps, default 256
    void SetFiltKernelLen(int32_t taps);
    int32_t EquKernelLen() const { return equKernelLen_; } // equalizer taps, default 512
    void SetEquKernelLen(int32_t taps);
    int32_t FFTSize() const { return fftSize_; } // M: complex bins of the 2M-point transform

    // Band gains in dB at 75 * 2^i Hz; setting them rebuilds the equalizer. The kernel reads
    // them limited to +-kBandLimitDb (a non-number as 0 dB), so it stays finite.
    static constexpr float kBandLimitDb = TEqualizerDesign::kBandLimitDb;
    const std::array<float, kBandCount>& Bands() const { return parameters_.Bands; }
    void SetBands(const std::array<float, kBandCount>& gainsDb);
    void SetBand(int band, float gainDb);

    // Dynamics: smoothed-envelope levels on the 2^31 scale where the compressor reaches K and
    // where the gate (1:3 expander) begins, and the compression ratio. Any value is safe: a gain
    // that works out as no number or negative mutes the sample, an infinite one is left to the
    // clipper.
    float ClipThreshold() const { return parameters_.ClipThreshold; }
    void SetClipThreshold(float level);
    float GateThreshold() const { return parameters_.GateThreshold; }
    void SetGateThreshold(float level);
    float Compression() const { return parameters_.Compression; }
    void SetCompression(float ratio);

    // Stages: the band-pass with the bands, the gain stage (never without the former in the
    // program, but independent here), and measuring for the displays while the gain stage is off.
    bool EqualizerEnabled() const { return parameters_.EqualizerEnabled; }
    void SetEqualizerEnabled(bool on) { parameters_.EqualizerEnabled = on; }
    bool ClipperEnabled() const { return parameters_.ClipperEnabled; }
    void SetClipperEnabled(bool on) { parameters_.ClipperEnabled = on; }
    bool AnalysisOn() const { return parameters_.AnalysisOn; }
    void SetAnalysisOn(bool on) { parameters_.AnalysisOn = on; }
    // Overshoot control after the second band-pass while the clipper is on: the analytic
    // envelope of the output stays at or below K, the correction inside the pass band. Off, the
    // output is the band-passed clipper output as it stands. Default on.
    bool OvershootControl() const { return parameters_.OvershootControl; }
    void SetOvershootControl(bool on) { parameters_.OvershootControl = on; }

    // Everything the per-block path reads, as one value: an equalizer edited in one thread
    // hands it to one that processes in another. SetParameters takes a set prepared for the same
    // FFTSize and FiltKernelLen (an assertion otherwise) and allocates nothing.
    const TEqualizerParameters& Parameters() const { return parameters_; }
    void SetParameters(const TEqualizerParameters& parameters);

    // Smoothed envelope, carried across blocks; 1e-10 after Prepare.
    float Envelope() const { return envelope_; }

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
    // Samples between input and output of Process for the current switches, at SamplesPerSec:
    // FiltKernelLen div 2 + EquKernelLen div 2 with the equalizer on, FiltKernelLen div 2 for
    // the second band-pass with the clipper on, and OvershootDelay() while the overshoot control
    // acts; 0 with both stages off.
    int32_t Delay() const;
    // Samples the overshoot control adds: 2 (FiltKernelLen div 2 + TOvershootControl::kSearch).
    int32_t OvershootDelay() const { return overshoot_.Delay(); }

    // Combined band-pass and equalizer response in dB, 512 points from 30 Hz to fs/2 on the
    // display's log axis.
    const TSingleArray& Response() const { return response_; }
    const TComplexArray& FiltSpec() const { return parameters_.FiltSpec; }
    const TComplexArray& TotalSpec() const { return parameters_.TotalSpec; }
    // Per-sample instantaneous envelope and applied gain of the last block; empty until the
    // dynamics stage first ran.
    const TSingleArray& SampleEnvelope() const { return sampleEnvelope_; }
    const TSingleArray& SampleGain() const { return sampleGain_; }

private:
    void Configure(int32_t samplesPerSec, int32_t dataBlockSize, int32_t filtKernelLen,
                   int32_t equKernelLen);
    void ApplyCutoffs(int32_t lo, int32_t hi);
    void Rebuild();
    void UpdateDynamics();
    void Run(const TSingleArray& data, float* out, bool equalizerOn, bool clipperOn);
    void Dynamics(bool clipperOn);
    void Quadrature();

    int32_t samplesPerSec_ = 12000;
    int32_t dataBlockSize_ = 128;
    int32_t filtKernelLen_ = 256;
    int32_t equKernelLen_ = 512;
    int32_t fftSize_ = 0;
    TEqualizerParameters parameters_;
    float envelope_ = 1e-10f;
    TSingleArray response_;
    TSingleArray sampleEnvelope_;
    TSingleArray sampleGain_;
    TSingleArray smoothed_; // D: the smoothed envelope of each sample of the block

    TFftWork fft_; // shared by every transform of the component
    TEqualizerDesign design_;
    TSingleArray overlapBuf_;    // 2M: output overlap-add accumulator
    TComplexArray analyticBuf_;  // 2M: overlap-add accumulator of the analytic signal
    TComplexArray spec_;         // M: the block's packed spectrum
    TComplexArray analytic_;     // 2M: the block's analytic signal, then the gain-controlled block
    TSingleArray quadratureBuf_; // 2M: overlap-add accumulator of the output's quadrature part
    TOvershootControl overshoot_;
    bool overshootRunning_ = false; // it ran for the last block: its history is current
};

} // namespace sonari
