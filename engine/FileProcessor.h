#pragma once

#include "SND/MicEqual.h"
#include "engine/DspView.h"
#include "engine/EnvelopeMeter.h"
#include "engine/LevelMeters.h"
#include "engine/ProcessingChain.h"
#include "engine/SampleStream.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sonari {

// What a file run produced, over the samples written (after the limiter).
struct TProcessSummary {
    int32_t SamplesPerSec = 0;
    int64_t Frames = 0;        // written: as many as the input held
    long double RmsDbfs = 0;   // r.m.s. level
    long double PeakDbfs = 0;  // largest magnitude
    int64_t LimitedBlocks = 0; // blocks the output limiter had to clip
    // While the equalizer measures: the peak of the analytic envelope of the processed signal
    // at 12000 samples/s (before the interpolator and the output gain), dB re the clip level K.
    std::optional<long double> OvershootDb;
    long double PeakFactorDb() const { return PeakDbfs - RmsDbfs; }
};

// Runs the live-processing chain (microphone to transmitter) over a recording instead of
// devices: its first channel, at 12000 * 2^k samples/s, into a mono sound at the same rate and
// of the same length. By default the output is aligned with the input and complete: the
// chain's delay is taken off its start and silence flushes the last input samples through;
// with `keepDelay` it is what the transmitter would have sent, delay included, and the input's
// last samples stay inside the chain.
class TFileProcessor {
public:
    // `view` receives the figures of each closed statistics window while the equalizer
    // measures (its AnalysisOn); the summary then holds the envelope's overshoot too.
    explicit TFileProcessor(IDspView& view);

    // The chain's equalizer as a profile or the defaults set it; 1024-sample blocks.
    TMicEqualizer& Equalizer() { return equalizer_; }
    // Gain of the output interpolator in dB.
    void SetOutputGainDb(float gainDb) { outputGainDb_ = gainDb; }

    // Processes all of `input` into `output` (closed at the end). Exception with a message for
    // the operator when the input's rate is not 12000 * 2^k; errors of the reader and the
    // writer pass through.
    TProcessSummary Process(ISampleReader& input, ISampleWriter& output, bool keepDelay = false);
    // The chain's delay in frames of the last run's rate.
    double Latency() const { return chain_.Latency(); }

private:
    void Measure(int32_t blockCount);

    IDspView& view_;
    TMicEqualizer equalizer_;
    float outputGainDb_ = 0.0f;
    TProcessingChain chain_;
    TOutputStats stats_;
    TEnvelopeMeter envelope_;
};

// "Unsupported sampling rate %d Hz in %s: ..." for an input the chain cannot take.
std::string UnsupportedRateMessage(const std::string& fileName, uint32_t samplesPerSec);

} // namespace sonari
