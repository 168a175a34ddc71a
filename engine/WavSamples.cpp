#include "engine/WavSamples.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"

#include <algorithm>

namespace sonari {

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
    const TDataBufferF frames = wav_.Read(static_cast<uint32_t>(count));
    const size_t got = frames.empty() ? 0 : std::min(frames[0].size(), count);
    for (size_t i = 0; i < got; ++i)
        samples[i] = frames[0][i] * scale_;
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
    channel.assign(samples, samples + count);
    if (isFloat_)
        for (float& x : channel)
            x *= kInverseFullScale;
    wav_.Write(buffer_);
}

} // namespace sonari
