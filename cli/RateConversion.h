#pragma once

#include "engine/SampleStream.h"

#include <cstdint>
#include <memory>

struct soxr;

namespace sonari::cli {

// The processing rate a file at `rate` runs at: the nearest 12000 * 2^k at or above it (44100
// runs at 48000); 0 above the highest.
int32_t ProcessingRateFor(int32_t rate);

struct TSoxrDeleter {
    void operator()(soxr* resampler) const;
};
using TSoxr = std::unique_ptr<soxr, TSoxrDeleter>;

// A reader at another rate: `source` converted by libsoxr (high quality, time-aligned), with
// exactly round(source frames * rate / source rate) frames.
class TResamplingReader : public ISampleReader {
public:
    TResamplingReader(ISampleReader& source, int32_t rate);

    int32_t Rate() const override { return rate_; }
    int64_t Frames() const override { return frames_; }
    size_t Read(float* samples, size_t count) override;

private:
    ISampleReader& source_;
    int32_t rate_;
    int64_t frames_;
    int64_t left_;
    TSoxr resampler_;
    float input_[4096];
    size_t inputLength_ = 0; // frames in input_
    size_t inputAt_ = 0;     // the first not yet converted
    bool ended_ = false;
};

// A writer at another rate: what is written at `rate` reaches `target` at `targetRate`, exactly
// `targetFrames` frames of it when closed.
class TResamplingWriter : public ISampleWriter {
public:
    TResamplingWriter(ISampleWriter& target, int32_t rate, int32_t targetRate,
                      int64_t targetFrames);

    void Write(const float* samples, size_t count) override;
    void Close() override;

private:
    void Pass(const float* samples, size_t count);

    ISampleWriter& target_;
    int64_t left_;
    TSoxr resampler_;
    float output_[8192];
};

} // namespace sonari::cli
