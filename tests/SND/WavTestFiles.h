#pragma once

// Hand-made RIFF files, and files written by the WAV component, for the tests.

#include "SND/WavFile.h"

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace sonari::test {

inline std::string Le16(uint32_t v) { return {char(v & 0xFF), char(v >> 8 & 0xFF)}; }

inline std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

// A chunk with its declared size (the body's length unless given) and a pad byte for odd bodies.
inline std::string Chunk(const std::string& id, const std::string& body, int64_t size = -1) {
    const uint32_t declared = size < 0 ? uint32_t(body.size()) : uint32_t(size);
    return id + Le32(declared) + body + std::string(body.size() % 2, '\0');
}

inline std::string Riff(const std::string& form, const std::string& chunks) {
    return "RIFF" + Le32(uint32_t(4 + chunks.size())) + form + chunks;
}

// The 16 bytes every format record starts with.
inline std::string FormatBody(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t blockAlign,
                              uint32_t bits) {
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * blockAlign) + Le16(blockAlign) +
           Le16(bits);
}

// An extensible record's tail after cbSize: valid bits, channel mask and sub-format GUID.
inline std::string ExtensibleTail(uint32_t validBits, uint32_t mask, uint8_t subFormat) {
    return Le16(validBits) + Le32(mask) + Le32(subFormat) + Le16(0) + Le16(0x10) +
           std::string("\x80\x00\x00\xAA\x00\x38\x9B\x71", 8);
}

struct TFormatSpec {
    uint32_t channels;
    uint32_t bytes;
    bool isFloat;
};

inline void WriteWav(const std::string& path, TFormatSpec spec, const TDataBufferF& data,
                     const std::vector<std::string>& info = {}, uint32_t rate = 12000) {
    TKelWavFile wav;
    wav.SetFileName(path);
    wav.SetChannelCount(spec.channels);
    wav.SetSamplesPerSec(rate);
    wav.SetBytesPerSample(spec.bytes);
    wav.SetFloatFmt(spec.isFloat);
    wav.SetInfo(info);
    wav.OpenWrite();
    wav.Write(data);
    wav.Close();
}

// Writes `channels` (all the same length) as a WAV file at `rate`.
inline void WriteWav(const std::string& path, uint32_t rate, const TDataBufferF& channels,
                     uint32_t bytesPerSample = 2, bool isFloat = false) {
    WriteWav(path, {uint32_t(channels.size()), bytesPerSample, isFloat}, channels, {}, rate);
}

// A whole WAV file: its format and every channel.
struct TWavContents {
    uint32_t Rate = 0;
    uint32_t BytesPerSample = 0;
    bool IsFloat = false;
    TDataBufferF Channels;
};

inline TWavContents ReadWav(const std::string& path) {
    TKelWavFile wav;
    wav.SetFileName(path);
    wav.OpenRead();
    return {wav.SamplesPerSec(), wav.BytesPerSample(), wav.FloatFmt(), wav.Read(wav.SampleCount())};
}

// Frames of a complete WAV file; 0 while it is missing or unreadable.
inline uint32_t WavFrames(const std::string& path) {
    try {
        TKelWavFile wav;
        wav.SetFileName(path);
        wav.OpenRead();
        return wav.SampleCount();
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace sonari::test
