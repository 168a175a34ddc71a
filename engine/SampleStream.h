#pragma once

#include <cstddef>
#include <cstdint>

namespace sonari {

// A sound's first channel read in pieces, on the 32-bit scale (full scale 2^31), whatever the
// file or the conversion behind it.
class ISampleReader {
public:
    virtual ~ISampleReader() = default;

    // Samples per second.
    virtual int32_t Rate() const = 0;
    // Frames in all; Read delivers exactly this many.
    virtual int64_t Frames() const = 0;
    // Up to `count` frames into `samples`; fewer only at the end, 0 after it.
    virtual size_t Read(float* samples, size_t count) = 0;
};

// A mono sound written in pieces, on the 32-bit scale.
class ISampleWriter {
public:
    virtual ~ISampleWriter() = default;

    virtual void Write(const float* samples, size_t count) = 0;
    // Completes the sound: nothing is written after it.
    virtual void Close() = 0;
};

} // namespace sonari
