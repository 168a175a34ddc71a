#pragma once

#include "SND/SndTypes.h"

#include <functional>
#include <string>

namespace sonari {

// Utilities for the engine's sound files: every file it reads or writes runs at 12000
// samples/s, and every array holds samples on the 32-bit scale.

constexpr int32_t kSoundFileRate = 12000;

// "Incorrect sampling rate in %s, must be 12 KHz" with the file's full name.
std::string WrongRateMessage(const std::string& fileName);

// Channel 0 of a whole 12000 samples/s file. A file at another rate gives an empty array and
// the message above through `onWrongRate`. Errors opening or reading the file propagate.
TSingleArray ReadWavFile(const std::string& fileName,
                         const std::function<void(const std::string& message)>& onWrongRate);

// Subtracts the mean (accumulated in a float, as the recording was); empty arrays stay empty.
void RemoveDc(TSingleArray& samples);

// Half the peak-to-peak excursion: (largest - smallest) / 2; 0 for an empty array.
float PeakOf(const TSingleArray& samples);

// Half raised-cosine over the whole array: rising x[i] (1 - cos(pi i / N)) / 2, falling
// x[i] (1 + cos(pi i / N)) / 2.
void FadeBlock(TSingleArray& samples, bool rising);

} // namespace sonari
