#pragma once

#include "SND/WavFile.h"
#include "tests/SND/WavTestFiles.h"

#include <string>

namespace sonari::test {

// Writes `channels` (all the same length) as a WAV file at `rate`.
inline void WriteWav(const std::string& name, uint32_t rate, const TDataBufferF& channels,
                     uint32_t bytesPerSample = 2, bool isFloat = false) {
    WriteWav(name, TFormatSpec{static_cast<uint32_t>(channels.size()), bytesPerSample, isFloat},
             channels, {}, rate);
}

// Every channel of a whole WAV file, with its format.
struct TWavContents {
    uint32_t Rate = 0;
    uint32_t BytesPerSample = 0;
    bool IsFloat = false;
    TDataBufferF Channels;
};

inline TWavContents ReadWav(const std::string& name) {
    TKelWavFile wav;
    wav.SetFileName(name);
    wav.OpenRead();
    TWavContents contents{wav.SamplesPerSec(), wav.BytesPerSample(), wav.FloatFmt(),
                          wav.Read(wav.SampleCount())};
    wav.Close();
    return contents;
}

} // namespace sonari::test
