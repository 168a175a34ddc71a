#include "SND/LogFreq.h"

#include "SND/BlkSinc.h"
#include "SND/Exceptions.h"

#include <algorithm>
#include <cmath>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/LogFreq";
constexpr int kFftLength = 2 * TLogFreqSpectrum::kFrameLength;

// dB of a frame's power relative to a full-scale sine:
// -12 - 20 log10(2147483647) - 10 log10(4096), about -234.762 dB.
long double DbOffset() {
    return -12.0L - 20.0L * std::log10(2147483647.0L) -
           10.0L * std::log10(static_cast<long double>(kFftLength));
}

} // namespace

TLogFreqSpectrum::TLogFreqSpectrum()
    : window_(kFrameLength), frame_(kFftLength), power_(kFrameLength) {
    for (int i = 0; i < kFrameLength; ++i)
        window_[i] = BlackmanHarris(static_cast<float>(i) / kFrameLength);
    // Point i at the fractional bin f = base e^{alpha i}, alpha = ln(200)/512, base = 0.005 N,
    // spanning +-h = f alpha bins: a band mean where that covers a bin, else an interpolation.
    const long double alpha = std::log(200.0L) / kPoints;
    const long double base = 0.005L * kFrameLength;
    for (int i = 0; i < kPoints; ++i) {
        const long double f = base * std::exp(alpha * i);
        const long double h = f * alpha;
        binIsBand_[i] = h >= 1;
        if (binIsBand_[i]) {
            // nearbyint rounds half to even in the default rounding mode
            binLo_[i] = std::max(static_cast<int32_t>(std::nearbyint(f - h)), 0);
            binHi_[i] = std::min(static_cast<int32_t>(std::nearbyint(f + h)), kFrameLength - 1);
        } else {
            binLo_[i] = binHi_[i] = static_cast<int32_t>(f);
            binT_[i] = static_cast<float>(f - binLo_[i]);
        }
    }
}

void TLogFreqSpectrum::Reset() {
    spectrumDb_.clear();
    averageDb_.clear();
    count_ = 0;
}

void TLogFreqSpectrum::Start(size_t blockLength) {
    blockLength_ = blockLength;
    halfBlocks_ = static_cast<int32_t>((kFrameLength / blockLength) / 2);
    olderHalf_.assign(halfBlocks_ * blockLength, 0.0f);
    newerHalf_.assign(halfBlocks_ * blockLength, 0.0f);
    logPower_.assign(kPoints, 0.0f);
    sumDb_.assign(kPoints, 0.0f);
    spectrumDb_.assign(kPoints, 0.0f);
    averageDb_.assign(kPoints, 0.0f);
}

bool TLogFreqSpectrum::Process(const TSingleArray& data, bool accumulate) {
    const bool first = spectrumDb_.empty();
    Assert(!data.empty() && data.size() <= kMaxBlock && (first || data.size() == blockLength_),
           kSource);
    if (first)
        Start(data.size());

    const int32_t slot = count_ % halfBlocks_;
    ++count_;
    std::copy(data.begin(), data.end(), newerHalf_.begin() + slot * blockLength_);
    if (slot != halfBlocks_ - 1)
        return false;

    AnalyseFrame();
    if (!accumulate || count_ > MaxCount)
        return true;
    for (int i = 0; i < kPoints; ++i) {
        sumDb_[i] += spectrumDb_[i];
        averageDb_[i] =
            static_cast<float>(static_cast<long double>(sumDb_[i]) * halfBlocks_ / count_);
    }
    return true;
}

void TLogFreqSpectrum::AnalyseFrame() {
    // older half, then newer half, windowed; the rest of the frame stays zero
    const size_t half = olderHalf_.size();
    for (size_t j = 0; j < half; ++j) {
        frame_[j] = olderHalf_[j] * window_[j];
        frame_[half + j] = newerHalf_[j] * window_[half + j];
    }
    std::fill(frame_.begin() + 2 * half, frame_.end(), 0.0f);
    std::swap(olderHalf_, newerHalf_); // frames overlap by half

    fft_.Rdft(kFftLength, 1, frame_.data());
    power_[0] = 0.0f;
    // double keeps these exact to the float result without the extended precision's cost
    for (int k = 1; k < kFrameLength; ++k) {
        const double re = frame_[2 * k], im = frame_[2 * k + 1];
        power_[k] = static_cast<float>(re * re + im * im);
    }
    Rebin();
    static const double offset = static_cast<double>(DbOffset());
    for (int i = 0; i < kPoints; ++i)
        spectrumDb_[i] = static_cast<float>(10.0 * std::log10(1e-99 + logPower_[i]) + offset);
}

void TLogFreqSpectrum::Rebin() {
    for (int i = 0; i < kPoints; ++i) {
        const int32_t lo = binLo_[i], hi = binHi_[i];
        double value;
        if (binIsBand_[i]) {
            double sum = 0;
            for (int32_t k = lo; k <= hi; ++k)
                sum += power_[k];
            value = sum / (hi - lo + 1);
        } else {
            const double t = binT_[i];
            value = (1 - t) * power_[lo] + t * power_[lo + 1];
        }
        logPower_[i] = static_cast<float>(value);
    }
}

} // namespace sonari
