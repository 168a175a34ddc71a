#include "SND/EquDesign.h"

#include "SND/BlkSinc.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonari {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

float* Floats(TComplexArray& a) { return reinterpret_cast<float*>(a.data()); }

float UsableBandDb(float db) {
    if (std::isnan(db))
        return 0.0f;
    return std::clamp(db, -TEqualizerDesign::kBandLimitDb, TEqualizerDesign::kBandLimitDb);
}

// Each tap divided by the sum of all taps; a kernel without a usable sum (the low-pass at
// 0 Hz is all zeros) becomes all zeros.
void NormaliseToUnitSum(TSingleArray& kernel) {
    long double sum = 0;
    for (float tap : kernel)
        sum += tap;
    if (sum == 0 || !std::isfinite(sum)) {
        std::fill(kernel.begin(), kernel.end(), 0.0f);
        return;
    }
    for (float& tap : kernel)
        tap = static_cast<float>(tap / sum);
}

TSingleArray LowPass(int32_t taps, int32_t cutoffHz, int32_t samplesPerSec) {
    TSingleArray kernel;
    MakeSincKernel(taps, kernel,
                   static_cast<float>(static_cast<long double>(cutoffHz) / samplesPerSec));
    NormaliseToUnitSum(kernel);
    return kernel;
}

// delta - kernel: a high-pass from a low-pass and back.
void SpectralInversion(TSingleArray& kernel) {
    for (float& tap : kernel)
        tap = -tap;
    kernel[kernel.size() / 2] += 1.0f;
}

// Raised cosine over one octave: the weights of neighbouring band centres sum to 1.
long double RaisedCosine(long double t) {
    return std::fabs(t) < 1 ? 0.5L + 0.5L * std::cos(kPi * t) : 0.0L;
}

} // namespace

const TComplexArray& TEqualizerDesign::FilterSpectrum(const TSetup& setup, TFftWork& fft) {
    const TFilterKey key{setup.samplesPerSec, setup.fftSize, setup.filtKernelLen, setup.cutoffLo,
                         setup.cutoffHi};
    if (!(key == filterKey_)) {
        MakeFilterKernel(setup, kernel_);
        KernelSpectrum(kernel_, setup.fftSize, fft, filterSpectrum_);
        filterKey_ = key;
    }
    return filterSpectrum_;
}

const TComplexArray& TEqualizerDesign::EqualizerSpectrum(const TSetup& setup, TFftWork& fft) {
    TEqualizerKey key{setup.samplesPerSec, setup.fftSize, setup.equKernelLen, {}};
    std::transform(setup.bandsDb.begin(), setup.bandsDb.end(), key.bandsDb.begin(), UsableBandDb);
    if (!(key == equalizerKey_)) {
        MakeEqualizerKernel(setup, fft, kernel_);
        KernelSpectrum(kernel_, setup.fftSize, fft, equalizerSpectrum_);
        equalizerKey_ = key;
    }
    return equalizerSpectrum_;
}

// LP(CutoffLo) - LP(CutoffHi) by two spectral inversions: gain -1 between the cut-offs.
// CutoffLo 0 means no low cut: exactly -LP(CutoffHi), which the unit-sum step between the
// inversions would otherwise halve into a high-pass above CutoffHi.
void TEqualizerDesign::MakeFilterKernel(const TSetup& setup, TSingleArray& kernel) const {
    kernel = LowPass(setup.filtKernelLen, setup.cutoffHi, setup.samplesPerSec);
    if (setup.cutoffLo == 0) {
        for (float& tap : kernel)
            tap = -tap;
        return;
    }
    TSingleArray highPass = LowPass(setup.filtKernelLen, setup.cutoffLo, setup.samplesPerSec);
    SpectralInversion(highPass);
    for (size_t i = 0; i < kernel.size(); ++i)
        kernel[i] += highPass[i];
    NormaliseToUnitSum(kernel);
    SpectralInversion(kernel);
}

// Bin i of the M-bin curve lies at (i/M) fs/2 Hz, x = log2(f/75) octaves above band 0; band
// centres b = -4..7 (the outer ones repeating the end bands) weigh in with R(x - b). They cover
// 4.69 Hz .. 9600 Hz at full weight; beyond, the gain falls back to 0 dB.
void TEqualizerDesign::UpdateBinWeights(int32_t samplesPerSec, int32_t fftSize) {
    if (samplesPerSec == weightsRate_ && fftSize == weightsFftSize_)
        return;
    binWeights_.assign(fftSize, TBinWeights{});
    for (int32_t i = 1; i < fftSize; ++i) {
        const long double hz = static_cast<long double>(i) / fftSize * samplesPerSec / 2;
        const long double octave = std::log2(hz / 75);
        TBinWeights& bin = binWeights_[i];
        for (int b = -4; b <= 7 && bin.count < 2; ++b) {
            const long double weight = RaisedCosine(octave - b);
            if (weight > 0)
                bin.terms[bin.count++] = {std::clamp(b, 0, kBandCount - 1), weight};
        }
    }
    weightsRate_ = samplesPerSec;
    weightsFftSize_ = fftSize;
}

// Zero-phase amplitude curve from the band gains, its impulse response windowed to
// EquKernelLen taps centred at EquKernelLen div 2, scaled by 1/M (the inverse's gain).
void TEqualizerDesign::MakeEqualizerKernel(const TSetup& setup, TFftWork& fft,
                                           TSingleArray& kernel) {
    const int32_t m = setup.fftSize;
    UpdateBinWeights(setup.samplesPerSec, m);
    work_.assign(m, TComplex{0.0f, 0.0f});
    float lastDb = 0.0f, lastAmplitude = 1.0f;
    for (int32_t i = 1; i < m; ++i) {
        // summed in a float, as the curve has always been accumulated
        float db = 0.0f;
        for (int t = 0; t < binWeights_[i].count; ++t) {
            const TBandWeight& term = binWeights_[i].terms[t];
            db = static_cast<float>(db + UsableBandDb(setup.bandsDb[term.band]) * term.weight);
        }
        // flat stretches repeat the same gain: skip the power
        if (db != lastDb) {
            lastDb = db;
            lastAmplitude = static_cast<float>(exp10l(db / 20.0L));
        }
        work_[i].Re = lastAmplitude;
    }
    work_[0] = {work_[1].Re, work_[m - 1].Re};
    fft.Rdft(2 * m, -1, Floats(work_));

    const int32_t taps = setup.equKernelLen, half = taps / 2;
    if (window_.size() != static_cast<size_t>(taps)) {
        window_.resize(taps);
        for (int32_t i = 0; i < taps; ++i)
            window_[i] = BlackmanHarris(static_cast<float>(i) / static_cast<float>(taps));
    }
    const float* h = Floats(work_);
    kernel.assign(taps, 0.0f);
    for (int32_t i = 0; i < taps; ++i) {
        const long double tap =
            static_cast<long double>(h[(2 * m - half + i) % (2 * m)]) * window_[i];
        kernel[i] = static_cast<float>(tap / m);
    }
}

void TEqualizerDesign::KernelSpectrum(const TSingleArray& kernel, int32_t fftSize, TFftWork& fft,
                                      TComplexArray& spectrum) {
    spectrum.assign(fftSize, TComplex{0.0f, 0.0f});
    float* a = Floats(spectrum);
    std::copy(kernel.begin(), kernel.end(), a);
    fft.Rdft(2 * fftSize, 1, a);
}

// Point i at f = 30 (fs/2 / 30)^(i/512) Hz, p = (length/2) f / (fs/2) bins.
void TEqualizerDesign::UpdateResponseAxis(int32_t samplesPerSec, int32_t length) {
    if (samplesPerSec == axisRate_ && length == axisLength_)
        return;
    const int32_t bins = length / 2;
    const long double nyquist = samplesPerSec / 2.0L;
    for (int i = 0; i < kResponsePoints; ++i) {
        const long double hz = 30 * std::exp(std::log(nyquist / 30) * i / kResponsePoints);
        const long double p = std::min<long double>(bins * hz / nyquist, bins);
        axisBin_[i] = std::min(static_cast<int32_t>(p), bins - 1);
        axisT_[i] = p - axisBin_[i];
    }
    axisRate_ = samplesPerSec;
    axisLength_ = length;
}

void TEqualizerDesign::Response(const TComplexArray& total, int32_t samplesPerSec, TFftWork& fft,
                                TSingleArray& response) {
    // impulse response, zero-padded to 8192 points (or 2M when longer) and transformed
    const int32_t m = static_cast<int32_t>(total.size());
    const int32_t length = std::max(8192, 2 * m);
    UpdateResponseAxis(samplesPerSec, length);
    responseWork_.assign(length, 0.0f);
    const float* t = reinterpret_cast<const float*>(total.data());
    std::copy(t, t + 2 * m, responseWork_.begin());
    fft.Rdft(2 * m, -1, responseWork_.data());
    fft.Rdft(length, 1, responseWork_.data());

    const float* x = responseWork_.data();
    const int32_t bins = length / 2;
    auto power = [&](int32_t k) -> long double {
        const long double re = k == bins ? x[1] : x[2 * k];
        const long double im = k == 0 || k == bins ? 0.0f : x[2 * k + 1];
        return re * re + im * im;
    };
    response.assign(kResponsePoints, 0.0f);
    for (int i = 0; i < kResponsePoints; ++i) {
        const int32_t k = axisBin_[i];
        const long double w = axisT_[i];
        response[i] =
            static_cast<float>(10 * std::log10(1e-99L + (1 - w) * power(k) + w * power(k + 1)));
    }
}

} // namespace sonari
