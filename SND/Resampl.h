#pragma once

#include "SND/HalfBandStages.h"
#include "SND/SimdPath.h"
#include "SND/SndTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace sonari {

// Resampling ratio 2^F, F being the ordinal.
enum TResamplingFactor : uint8_t { rf01x, rf02x, rf04x, rf08x, rf16x, rf32x, rf64x };

// Changes the rate of a mono block by a power of two through a cascade of half-band FIR
// stages, applying a gain on the way. Each stage keeps its own history, so a stream cut into
// blocks is filtered without seams. One instance serves one direction. Main thread only.
class TOctaveResampler {
public:
    static constexpr int kMaxStages = 6;

    TOctaveResampler();

    // Ratio 2^F between the block sizes; resets the history.
    TResamplingFactor Factor() const { return factor_; }
    void SetFactor(TResamplingFactor factor);
    // Block length at the high rate, a multiple of Ratio(); resets the history.
    int32_t BigBlockSize() const { return bigBlockSize_; }
    void SetBigBlockSize(int32_t samples);
    // Block length at the low rate: BigBlockSize >> F.
    int32_t SmallBlockSize() const { return smallBlockSize_; }
    // Gain in dB applied in both directions; keeps the history.
    float GainDb() const { return gainDb_; }
    void SetGainDb(float gainDb);
    // Delay of the interpolation cascade in samples at the high rate.
    float Delay() const { return delay_; }
    // 2^F; writing takes the nearest power of two in the log domain (3 -> 4, 6 -> 8) and
    // rejects ratios below 1 or above 64.
    int32_t Ratio() const { return 1 << factor_; }
    void SetRatio(int32_t ratio);

    // Clears every stage's history and picks the stages' kernels for this processor.
    void Reset();
    // The instruction set the stages run on, chosen by the last Reset.
    TSimdPath SimdPath() const { return simdPath_; }
    // BigBlockSize samples at the high rate into SmallBlockSize samples, both caller-allocated.
    void Decimate(const TSingleArray& input, TSingleArray& output);
    // SmallBlockSize samples at the low rate into BigBlockSize samples, both caller-allocated.
    void Interpolate(const TSingleArray& input, TSingleArray& output);

    using THalfBand = THalfBandFilter;
    // Windowed-sinc half-band design with K = 4, 5, 7 or 38 pairs; every tap, the centre
    // included, is multiplied by `gain` and divided by `scale`.
    static THalfBand DesignHalfBand(int pairs, float gain = 1.0f, float scale = 1.0f);

private:
    void UpdateCoefficients();
    void CheckLengths(const TSingleArray& input, size_t inputLength, const TSingleArray& output,
                      size_t outputLength) const;
    void ApplyGain(const TSingleArray& input, TSingleArray& output) const;
    const THalfBand& DecimationFilter(int position) const;
    const THalfBand& InterpolationFilter(int position) const;

    TResamplingFactor factor_ = rf01x;
    int32_t smallBlockSize_ = 0;
    int32_t bigBlockSize_ = 1024;
    THalfBand fir15_, fir19_, fir27_, fir151Decimate_, fir151Interpolate_;
    std::array<TSingleArray, kMaxStages> stageBuffers_; // index = position - 1
    float gainDb_ = 0.0f;
    float linearGain_ = 1.0f;
    float delay_ = 0.0f;
    TSimdPath simdPath_ = TSimdPath::Sse2;
};

} // namespace sonari
