#include "SND/Resampl.h"

#include "SND/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/Resampl";
constexpr long double kPi = std::numbers::pi_v<long double>;

// Four-term Blackman-Harris window centred on 0: w(0) = 1, w(+-1) = 0.00006.
long double Window(float x) {
    return 0.35875L + 0.48829L * std::cos(kPi * x) + 0.14128L * std::cos(2 * kPi * x) +
           0.01168L * std::cos(3 * kPi * x);
}

// sin(2 pi x) / (2 pi x): the half-band ideal response, zero at every even tap distance.
long double HalfBandSinc(float x) {
    if (x == 0.0f)
        return 1.0L;
    return std::sin(2 * kPi * x) / (2 * kPi * x);
}

// Arguments are rounded to Single before the window and sinc are applied.
float Tap(int pairIndex, int windowSpan, long double gain) {
    const int n = 2 * pairIndex + 1;
    const float windowArg = static_cast<float>(static_cast<long double>(n) / windowSpan);
    const float sincArg = static_cast<float>(static_cast<long double>(n) / 4);
    return static_cast<float>(Window(windowArg) * gain * HalfBandSinc(sincArg));
}

// History kept in front of each stage's input, per direction.
int DecimationHistory(int pairs) { return 4 * pairs - 2; }
int InterpolationHistory(int pairs) { return 2 * pairs - 1; }

// Moves the last `history` samples of a buffer's filled region to its start.
void KeepHistory(TSingleArray& buffer, size_t filled, size_t history) {
    std::copy(buffer.begin() + static_cast<ptrdiff_t>(filled - history),
              buffer.begin() + static_cast<ptrdiff_t>(filled), buffer.begin());
}

} // namespace

TOctaveResampler::TOctaveResampler() { SetFactor(rf02x); }

void TOctaveResampler::SetFactor(TResamplingFactor factor) {
    if (factor > rf64x)
        throw Exception("Invalid resampling factor: " + std::to_string(int{factor}));
    factor_ = factor;
    UpdateCoefficients();
    // D(1) = 76; each further stage doubles the delay and adds its own half-length.
    static constexpr std::array<float, kMaxStages + 1> kDelays = {0, 76, 166, 342, 692, 1392, 2792};
    delay_ = kDelays[factor_];
    Reset();
}

void TOctaveResampler::SetBigBlockSize(int32_t samples) {
    if (samples < 0)
        throw Exception("Invalid block size: " + std::to_string(samples));
    bigBlockSize_ = samples;
    Reset();
}

void TOctaveResampler::SetGainDb(float gainDb) {
    const float linear = static_cast<float>(std::pow(10.0L, gainDb / 20.0L));
    // A gain that is not a finite number would turn every output sample into NaN or inf.
    if (!std::isfinite(linear))
        throw Exception("Invalid gain: " + std::to_string(gainDb) + " dB");
    gainDb_ = gainDb;
    linearGain_ = linear;
    UpdateCoefficients();
}

void TOctaveResampler::SetRatio(int32_t ratio) {
    if (ratio < 1 || ratio > 64)
        throw Exception("Invalid resampling ratio: " + std::to_string(ratio));
    const long double octaves = std::log2(static_cast<long double>(ratio));
    SetFactor(static_cast<TResamplingFactor>(std::lrint(octaves)));
}

TOctaveResampler::THalfBand TOctaveResampler::DesignHalfBand(int pairs, float gain, float scale) {
    // The window spans D = 9, 11, 15, 77 tap distances for K = 4, 5, 7, 38.
    int windowSpan = 0;
    switch (pairs) {
    case 4:
        windowSpan = 9;
        break;
    case 5:
        windowSpan = 11;
        break;
    case 7:
        windowSpan = 15;
        break;
    case 38:
        windowSpan = 77;
        break;
    default:
        throw Exception("Invalid half-band filter length: " + std::to_string(pairs));
    }
    THalfBand filter;
    filter.pairs = pairs;
    for (int k = 0; k < pairs; ++k)
        filter.coefficients[k] = Tap(k, windowSpan, gain) / scale;
    filter.centre = gain / scale;
    return filter;
}

void TOctaveResampler::UpdateCoefficients() {
    fir15_ = DesignHalfBand(4);
    fir19_ = DesignHalfBand(5);
    fir27_ = DesignHalfBand(7);
    fir151Interpolate_ = DesignHalfBand(38, linearGain_);
    // The short decimation stages gain 2 each; scaling the last one by 2^-F makes the total g.
    fir151Decimate_ = DesignHalfBand(38, linearGain_, static_cast<float>(1 << factor_));
}

void TOctaveResampler::Reset() {
    simdPath_ = ActiveSimdPath();
    smallBlockSize_ = bigBlockSize_ >> factor_;
    const size_t n = static_cast<size_t>(smallBlockSize_);
    for (int position = 1; position <= kMaxStages; ++position) {
        const size_t history =
            static_cast<size_t>(DecimationHistory(DecimationFilter(position).pairs));
        stageBuffers_[position - 1].assign((n << position) + history, 0.0f);
    }
}

const TOctaveResampler::THalfBand& TOctaveResampler::DecimationFilter(int position) const {
    switch (position) {
    case 1:
        return fir151Decimate_;
    case 2:
        return fir27_;
    case 3:
        return fir19_;
    default:
        return fir15_;
    }
}

const TOctaveResampler::THalfBand& TOctaveResampler::InterpolationFilter(int position) const {
    return position == 1 ? fir151Interpolate_ : DecimationFilter(position);
}

void TOctaveResampler::CheckLengths(const TSingleArray& input, size_t inputLength,
                                    const TSingleArray& output, size_t outputLength) const {
    // A big block that is not SmallBlockSize << F would not fit the stage buffers.
    Assert(input.size() == inputLength && output.size() == outputLength &&
               (static_cast<int64_t>(smallBlockSize_) << factor_) == bigBlockSize_,
           kSource);
}

void TOctaveResampler::ApplyGain(const TSingleArray& input, TSingleArray& output) const {
    if (gainDb_ == 0.0f)
        std::copy(input.begin(), input.end(), output.begin());
    else
        std::transform(input.begin(), input.end(), output.begin(),
                       [gain = linearGain_](float x) { return x * gain; });
}

void TOctaveResampler::Decimate(const TSingleArray& input, TSingleArray& output) {
    const size_t n = static_cast<size_t>(smallBlockSize_);
    CheckLengths(input, static_cast<size_t>(bigBlockSize_), output, n);
    if (factor_ == rf01x) {
        ApplyGain(input, output);
        return;
    }
    for (int p = factor_; p >= 1; --p) {
        const size_t history = static_cast<size_t>(DecimationHistory(DecimationFilter(p).pairs));
        KeepHistory(stageBuffers_[p - 1], history + (n << p), history);
    }
    const size_t topHistory =
        static_cast<size_t>(DecimationHistory(DecimationFilter(factor_).pairs));
    std::copy(input.begin(), input.end(),
              stageBuffers_[factor_ - 1].begin() + static_cast<ptrdiff_t>(topHistory));
    for (int p = factor_; p >= 1; --p) {
        float* target = output.data();
        if (p > 1)
            target = stageBuffers_[p - 2].data() + DecimationHistory(DecimationFilter(p - 1).pairs);
        DecimateHalfBand(simdPath_, DecimationFilter(p), stageBuffers_[p - 1].data(), target,
                         n << (p - 1));
    }
}

void TOctaveResampler::Interpolate(const TSingleArray& input, TSingleArray& output) {
    const size_t n = static_cast<size_t>(smallBlockSize_);
    CheckLengths(input, n, output, static_cast<size_t>(bigBlockSize_));
    if (factor_ == rf01x) {
        ApplyGain(input, output);
        return;
    }
    for (int p = 1; p <= factor_; ++p) {
        const size_t history =
            static_cast<size_t>(InterpolationHistory(InterpolationFilter(p).pairs));
        KeepHistory(stageBuffers_[p - 1], history + (n << (p - 1)), history);
    }
    std::copy(input.begin(), input.end(),
              stageBuffers_[0].begin() + InterpolationHistory(InterpolationFilter(1).pairs));
    for (int p = 1; p <= factor_; ++p) {
        float* target = output.data();
        if (p < factor_)
            target =
                stageBuffers_[p].data() + InterpolationHistory(InterpolationFilter(p + 1).pairs);
        InterpolateHalfBand(simdPath_, InterpolationFilter(p), stageBuffers_[p - 1].data(), target,
                            n << (p - 1));
    }
}

} // namespace sonari
