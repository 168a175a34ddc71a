#pragma once

#include "engine/SampleStream.h"

#include <memory>
#include <string>

namespace sonari::cli {

// Sound files by their name's extension: WAV through Sonari's own component, the rest (FLAC,
// Ogg Vorbis, AIFF, ...) through libsndfile. Samples on the 32-bit scale either way, so the
// same sound gives the same samples whichever container holds it.

// Channel 0 of the file. Exception naming the file when it cannot be opened or read.
std::unique_ptr<ISampleReader> OpenSampleReader(const std::string& fileName);

// A mono file at `rate` in the format `fileName`'s extension names, written to `path` (a
// temporary name beside it): 16-bit PCM, or 32-bit float where the format has it (`isFloat`);
// Ogg Vorbis is always lossy. Exception for an extension no format is known for, or a format
// that cannot hold what is asked.
std::unique_ptr<ISampleWriter>
OpenSampleWriter(const std::string& fileName, const std::string& path, int32_t rate, bool isFloat);

// What OpenSampleWriter writes for these arguments: "16-bit PCM", "32-bit float", "Ogg Vorbis".
std::string SampleFormatName(const std::string& fileName, bool isFloat);

// The file names one of the formats Sonari reads and writes through its own WAV component.
bool IsWavName(const std::string& fileName);

} // namespace sonari::cli
