#pragma once

#include "SND/Fft.h"
#include "SND/SndTypes.h"

#include <array>
#include <cstdint>

namespace sonari {

// Kernel design of the microphone equalizer: the band-pass kernel, the band-gain kernel, their
// spectra on the block transform and the response curve. A rebuild runs on every mouse move of
// the equalizer editor, so the design remembers its last inputs and recomputes only what they
// change (a band drag leaves the band-pass alone, a cut-off drag the band gains).
class TEqualizerDesign {
public:
    static constexpr int kBandCount = 7;
    static constexpr int kResponsePoints = 512;
    // Band gains are read limited to +-kBandLimitDb (a non-number as 0 dB).
    static constexpr float kBandLimitDb = 120.0f;

    struct TSetup {
        int32_t samplesPerSec; // Hz, >= 2
        int32_t fftSize;       // M: the block transform has 2M real points
        int32_t filtKernelLen; // taps, 1..2M
        int32_t equKernelLen;  // taps, 1..2M
        int32_t cutoffLo;      // Hz, 0 = no low cut
        int32_t cutoffHi;      // Hz
        std::array<float, kBandCount> bandsDb;
    };

    // Packed spectrum (M entries, unscaled rdft of the kernel zero-padded to 2M) of the
    // band-pass LP(CutoffLo) - LP(CutoffHi), centred at tap FiltKernelLen div 2.
    const TComplexArray& FilterSpectrum(const TSetup& setup, TFftWork& fft);
    // Packed spectrum of the band-gain kernel, centred at tap EquKernelLen div 2.
    const TComplexArray& EqualizerSpectrum(const TSetup& setup, TFftWork& fft);
    // Magnitude in dB of the 2M-point spectrum `total` (scaled by 1/M) at 512 points from
    // 30 Hz to fs/2 on a log axis, linear in power between the bins of an 8192-point transform.
    void Response(const TComplexArray& total, int32_t samplesPerSec, TFftWork& fft,
                  TSingleArray& response);

private:
    struct TFilterKey {
        int32_t samplesPerSec = 0, fftSize = 0, taps = 0, cutoffLo = -1, cutoffHi = -1;
        bool operator==(const TFilterKey&) const = default;
    };
    struct TEqualizerKey {
        int32_t samplesPerSec = 0, fftSize = 0, taps = 0;
        std::array<float, kBandCount> bandsDb{};
        bool operator==(const TEqualizerKey&) const = default;
    };
    // Raised-cosine weight of band `band` in a bin; a bin has at most two.
    struct TBandWeight {
        int32_t band;
        long double weight;
    };
    struct TBinWeights {
        int count = 0;
        std::array<TBandWeight, 2> terms{};
    };

    void MakeFilterKernel(const TSetup& setup, TSingleArray& kernel) const;
    void MakeEqualizerKernel(const TSetup& setup, TFftWork& fft, TSingleArray& kernel);
    void UpdateBinWeights(int32_t samplesPerSec, int32_t fftSize);
    void UpdateResponseAxis(int32_t samplesPerSec, int32_t length);
    static void KernelSpectrum(const TSingleArray& kernel, int32_t fftSize, TFftWork& fft,
                               TComplexArray& spectrum);

    TFilterKey filterKey_;
    TComplexArray filterSpectrum_;
    TEqualizerKey equalizerKey_;
    TComplexArray equalizerSpectrum_;
    TSingleArray kernel_;
    TComplexArray work_; // 2M entries: the band-gain curve and its impulse response

    int32_t weightsRate_ = 0, weightsFftSize_ = 0;
    std::vector<TBinWeights> binWeights_; // per bin of the M-bin curve
    TSingleArray window_;                 // BlackmanHarris(i / EquKernelLen)

    int32_t axisRate_ = 0, axisLength_ = 0;
    std::array<int32_t, kResponsePoints> axisBin_{};   // lower bin of each point
    std::array<long double, kResponsePoints> axisT_{}; // weight of the upper bin
    TSingleArray responseWork_;
};

} // namespace sonari
