#include "engine/WavSamples.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"

#include <algorithm>
#include <cstring>

namespace sonari {

namespace {

// out[i] = in[i] * scale, four at a time.
void Scale(const float* in, size_t count, float scale, float* out) {
    using TFloat4 = float __attribute__((vector_size(16)));
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        TFloat4 x;
        std::memcpy(&x, in + i, sizeof x);
        x *= scale;
        std::memcpy(out + i, &x, sizeof x);
    }
    for (; i < count; ++i)
        out[i] = in[i] * scale;
}

} // namespace

void RaiseNamed(const std::string& fileName, const std::exception& error) {
    const std::string message = error.what();
    if (message.find(fileName) != std::string::npos)
        throw Exception(message);
    throw Exception(fileName + ": " + message);
}

TWavSampleReader::TWavSampleReader(const std::string& fileName) {
    try {
        wav_.SetFileName(fileName);
        wav_.OpenRead();
    } catch (const std::exception& e) {
        RaiseNamed(fileName, e);
    }
    left_ = wav_.SampleCount();
    scale_ = wav_.FloatFmt() ? kFullScale : 1.0f;
}

size_t TWavSampleReader::Read(float* samples, size_t count) {
    count = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(count)));
    if (count == 0)
        return 0;
    const size_t got = std::min<size_t>(wav_.Read(frames_, static_cast<uint32_t>(count)), count);
    Scale(frames_[0].data(), got, scale_, samples);
    // A file that ends early reads as silence up to its stated length.
    std::fill(samples + got, samples + count, 0.0f);
    left_ -= static_cast<int64_t>(count);
    return count;
}

TWavSampleWriter::TWavSampleWriter(const std::string& fileName, int32_t rate, bool isFloat)
    : buffer_(1), isFloat_(isFloat) {
    wav_.SetFileName(fileName);
    wav_.SetChannelCount(1);
    wav_.SetSamplesPerSec(static_cast<uint32_t>(rate));
    wav_.SetBytesPerSample(isFloat ? 4 : 2);
    wav_.SetFloatFmt(isFloat);
    wav_.OpenWrite();
}

void TWavSampleWriter::Write(const float* samples, size_t count) {
    TSingleArray& channel = buffer_[0];
    channel.resize(count);
    Scale(samples, count, isFloat_ ? kInverseFullScale : 1.0f, channel.data());
    wav_.Write(buffer_);
}

} // namespace sonari
