#pragma once

#include "SND/MicEqual.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sonari {

// A profile as its file holds it: the equalizer, the dynamics and the output gain.
struct TProfile {
    std::array<float, TMicEqualizer::kBandCount> Bands{}; // dB
    int32_t CutoffLo = 300;                               // Hz
    int32_t CutoffHi = 2700;                              // Hz
    float ClipThreshold = 0.0f;                           // 2^31 scale
    float GateThreshold = 0.0f;                           // 2^31 scale
    float Compression = 1.0f;                             // input dB per output dB
    bool EqualizerEnabled = true;
    bool ClipperEnabled = false;
    bool OvershootControl = true; // acts while the clipper does
    float OutputGain = 1.0f;      // "Output Gain" slider position 0..1
};

// The profile an equalizer and an output gain slider hold.
TProfile ProfileOf(const TMicEqualizer& equalizer, float outputGain);
// Sets the equalizer to the profile: bands, cut-offs (the lower edge first, as the editor
// would), dynamics and the three switches.
void ApplyProfile(const TProfile& profile, TMicEqualizer& equalizer);

// A value of the file that LoadProfile left unused, and why ("not a number").
struct TIgnoredValue {
    std::string Section, Key, Text, Reason;
    bool operator==(const TIgnoredValue&) const = default;
};

// Reads a profile over `profile`: keys missing from the file leave their values, except the
// switches of equalizer, dynamics and overshoot control, which a missing key turns on (so a
// missing file turns all three on and changes nothing else). Values that would harm the
// processor are skipped like unreadable ones: band gains beyond the equalizer's
// +-TMicEqualizer::kBandLimitDb and dynamics values that are not positive finite numbers. The
// dynamics never run without the equalizer. Every skipped value is added to `ignored` when given.
// EIniFileException when the file exists but cannot be read; `profile` is then unchanged.
void LoadProfile(const std::string& fileName, TProfile& profile,
                 std::vector<TIgnoredValue>* ignored = nullptr);

// Writes every profile key, each reaching the file at once, keeping whatever else the file
// holds. EIniFileException "Unable to write to %s" ends the save at the key that failed.
void SaveProfile(const std::string& fileName, const TProfile& profile);

} // namespace sonari
