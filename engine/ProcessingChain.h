#pragma once

#include "SND/MicEqual.h"
#include "SND/Resampl.h"
#include "SND/SndTypes.h"
#include "engine/ChainParameters.h"
#include "engine/DcBlocker.h"
#include "engine/ParameterMailbox.h"

#include <cstdint>

namespace sonari {

// Where a run's blocks come from and where they go.
struct TChainLayout {
    int32_t InputRate = 12000; // samples/s of Process's input, 12000 * 2^k
    int32_t OutputRate = 0;    // samples/s of its output, 12000 * 2^k; 0: nothing is rendered
    bool LiveInput = true;     // a microphone: the software gain applies
    bool MixNoise = false;     // a playback: the selected noise recording is mixed in
    int32_t BlockSize = 1024;  // samples per block at 12000 samples/s
};

// The processing chain without a device: decimation to 12000 samples/s, software gain, DC
// blocker, band-pass and equalizer with the gate/compressor/clipper, noise mixing, interpolation
// to the output rate with the output gain, and the output limiter. It serves a live stream, a
// playback and a file alike.
//
// Threads: Prepare, Process and the taps belong to the processing thread (or to whoever runs the
// chain while it does not run); Publish may come from one other thread at any time and takes
// effect at the next block boundary.
class TProcessingChain {
public:
    static constexpr int32_t kRate = 12000; // samples/s between the resamplers

    TProcessingChain();

    // Sets up a run: sizes every buffer, clears the filters' history and applies `parameters`
    // (whose equalizer spectra must be prepared for the layout's block size; a set without
    // spectra gets the equalizer's defaults).
    // The DC blocker keeps its state across runs. Rates other than 12000 * 2^k (up to 64x) or a
    // block size that is not positive are rejected with ERangeError.
    void Prepare(const TChainLayout& layout, const TChainParameters& parameters);
    const TChainLayout& Layout() const { return layout_; }
    // Frames per Process call on either side (0 on a side without a device).
    int32_t InputFrames() const;
    int32_t OutputFrames() const;

    // From the controlling thread: the parameters of the following blocks. The equalizer's
    // spectra must be prepared for the same block size as the run's.
    void Publish(const TChainParameters& parameters);

    // One block: InputFrames() samples at the input rate in, OutputFrames() samples at the
    // output rate out (`output` is not touched without an output). Wrong lengths are an
    // assertion failure (engine/ProcessingChain) raised before anything changes. Every output
    // sample is finite and within +-kOutputLimit.
    void Process(const TSingleArray& input, TSingleArray& output);

    // Delay from input to output in frames at the output rate (the input rate without an
    // output), for the parameters last applied: the decimator's, the equalizer's (which depends
    // on its switches, the overshoot control's included) and the interpolator's.
    double Latency() const { return LatencyWith(equalizer_.Delay()); }
    // The same for an equalizer delay of `equalizerDelay` samples at 12000 samples/s; reads only
    // what Prepare fixed, so the controlling thread may ask while the chain runs (with the delay
    // of its own copy of the equalizer).
    double LatencyWith(int32_t equalizerDelay) const;

    // --- taps of the last block, 12000 samples/s, valid until the next Process ---
    // After decimation and software gain.
    const TSingleArray& Input() const { return input_; }
    // After the DC blocker.
    const TSingleArray& Filtered() const { return filtered_; }
    // After the equalizer and dynamics (the filtered block while nothing is rendered).
    const TSingleArray& Processed() const { return output_ ? processed_ : filtered_; }
    // After noise mixing: what the interpolator got.
    const TSingleArray& Mixed() const { return mixing_ ? mixed_ : Processed(); }
    // The limiter had to clip a sample of the last output block.
    bool Overloaded() const { return overloaded_; }
    // Its per-sample envelope and gain, and the smoothed envelope.
    const TMicEqualizer& Equalizer() const { return equalizer_; }
    // Samples at 12000 samples/s handled since Prepare.
    int64_t Position() const { return position_; }
    // Applied parameters (the last published ones once a block has run).
    const TChainParameters& Parameters() const { return applied_; }

private:
    void Apply(const TChainParameters& parameters);
    void Decimate(const TSingleArray& input);

    TChainLayout layout_;
    bool output_ = false;
    bool mixing_ = false;
    TParameterMailbox<TChainParameters> mailbox_;
    TChainParameters applied_;
    TOctaveResampler decimator_;
    TDcBlocker dcBlocker_;
    TMicEqualizer equalizer_;
    TOctaveResampler interpolator_;
    TSingleArray input_, filtered_, processed_, mixed_;
    bool overloaded_ = false;
    int64_t position_ = 0;
};

} // namespace sonari
