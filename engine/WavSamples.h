#pragma once

#include "SND/WavFile.h"
#include "engine/SampleStream.h"

#include <string>

namespace sonari {

// Channel 0 of a WAV file; float files at +-1.0 full scale. Exception naming the file when it
// cannot be read.
class TWavSampleReader : public ISampleReader {
public:
    explicit TWavSampleReader(const std::string& fileName);

    int32_t Rate() const override { return static_cast<int32_t>(wav_.SamplesPerSec()); }
    int64_t Frames() const override { return wav_.SampleCount(); }
    size_t Read(float* samples, size_t count) override;

private:
    TKelWavFile wav_;
    TDataBufferF frames_; // every channel of one Read, reused
    int64_t left_ = 0;
    float scale_ = 1.0f;
};

// A mono WAV file: 16-bit PCM, or 32-bit float at +-1.0 full scale.
class TWavSampleWriter : public ISampleWriter {
public:
    TWavSampleWriter(const std::string& fileName, int32_t rate, bool isFloat);

    void Write(const float* samples, size_t count) override;
    void Close() override { wav_.Close(); }

private:
    TKelWavFile wav_;
    TDataBufferF buffer_; // one channel
    bool isFloat_;
};

// The file's own errors do not always name it: the message with the name in front when not.
[[noreturn]] void RaiseNamed(const std::string& fileName, const std::exception& error);

} // namespace sonari
