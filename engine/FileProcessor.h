#pragma once

#include "SND/WDM/DeviceList.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "SND/WavFile.h"
#include "engine/Dsp.h"

#include <cstdint>
#include <string>

namespace sonari {

// What a file run produced, over the samples written (after the limiter).
struct TProcessSummary {
    int32_t SamplesPerSec = 0;
    int64_t Frames = 0;        // written, as many as the input held
    long double RmsDbfs = 0;   // r.m.s. level
    long double PeakDbfs = 0;  // largest magnitude
    int64_t LimitedBlocks = 0; // blocks the output limiter had to clip
    long double PeakFactorDb() const { return PeakDbfs - RmsDbfs; }
};

// Runs the live-processing chain (mode 6: the engine's own block handler) over a WAV file
// instead of devices. The input runs at 12000 * 2^k samples/s; its channel 0 is processed.
// Float files are read and written at +-1.0 full scale. The output is mono at the input rate,
// as long as the input: the last block is padded with silence, and the chain's delay is kept,
// as on the air. Main thread only.
class TFileProcessor {
public:
    // `view` supplies the check boxes and the output gain, and receives the figures.
    explicit TFileProcessor(IDspView& view);

    // The engine, e.g. to load a profile into its equalizer before Run.
    TDsp& Dsp() { return dsp_; }

    // Processes `inName` into `outName` (16-bit PCM, or 32-bit float when floatOutput).
    // Exception with a message for the operator when the input cannot be read or its rate is
    // not 12000 * 2^k, or the output cannot be written.
    TProcessSummary Run(const std::string& inName, const std::string& outName, bool floatOutput);

private:
    TProcessSummary Process(TKelWavFile& input, TKelWavFile& output, bool floatOutput);

    TWdmAudio audio_; // no devices: blocks come from the file
    TSynchronizer sync_;
    TDeviceSelection selection_;
    TDsp dsp_;
};

// "Unsupported sampling rate %d Hz in %s: ..." for an input the chain cannot take.
std::string UnsupportedRateMessage(const std::string& fileName, uint32_t samplesPerSec);

} // namespace sonari
