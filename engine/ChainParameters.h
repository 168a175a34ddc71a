#pragma once

#include "SND/MicEqual.h"
#include "SND/SndTypes.h"

namespace sonari {

// What the processing chain's per-block path reads besides the signal: prepared once per
// change on the controlling thread, in the units the arithmetic uses.
struct TChainParameters {
    // Linear gain of a live input (the microphone); 1 when the software gain is off.
    float SoftwareGain = 1.0f;
    // Gain of the output interpolator, dB.
    float OutputGainDb = 0.0f;
    // The noise recording mixed into a playback, or nullptr for none; it must outlive the run
    // and stay unchanged while it runs.
    const TSingleArray* Noise = nullptr;
    // Weight of the signal in the mixture, 10^(SNR/20) / (1 + 10^(SNR/20)); the noise gets the
    // rest.
    float SignalWeight = 1.0f;
    // Band-pass, equalizer, dynamics and whether they measure for the displays.
    TEqualizerParameters Equalizer;
};

} // namespace sonari
