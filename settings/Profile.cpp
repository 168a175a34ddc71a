#include "settings/Profile.h"

#include "settings/IniFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sonari {

namespace {

// Sections and keys, shared by load and save.
constexpr const char* kEqualizer = "Equalizer";
constexpr const char* kBand = "Band";
constexpr const char* kEnabled = "Enabled";
constexpr const char* kFilter = "Filter";
constexpr const char* kCutoffLo = "CutoffLo";
constexpr const char* kCutoffHi = "CutoffHi";
constexpr const char* kClipper = "Clipper";
constexpr const char* kClipThreshold = "ClipThreshold";
constexpr const char* kGateThreshold = "GateThreshold";
constexpr const char* kCompression = "Compression";
constexpr const char* kOvershootControl = "OvershootControl";
constexpr const char* kOutput = "Output";
constexpr const char* kGain = "Gain";

std::string BandKey(int band) { return kBand + std::to_string(band); }

// Gains beyond what the equalizer uses would only mislead the editor's drawing.
void LoadBand(const TIniFile& ini, int band, float& gainDb) {
    double value = ini.ReadFloat(kEqualizer, BandKey(band), gainDb);
    if (std::abs(value) <= TMicEqualizer::kBandLimitDb)
        gainDb = static_cast<float>(value);
}

// Thresholds and ratio divide and take powers in the gain law: only positive finite Singles.
void LoadDynamics(const TIniFile& ini, const char* key, float& target) {
    double value = ini.ReadFloat(kClipper, key, target);
    if (!(value > 0 && value <= std::numeric_limits<float>::max()))
        return;
    if (float single = static_cast<float>(value); single > 0)
        target = single;
}

} // namespace

TProfile ProfileOf(const TMicEqualizer& equalizer, float outputGain) {
    TProfile p;
    p.Bands = equalizer.Bands();
    p.CutoffLo = equalizer.CutoffLo();
    p.CutoffHi = equalizer.CutoffHi();
    p.ClipThreshold = equalizer.ClipThreshold();
    p.GateThreshold = equalizer.GateThreshold();
    p.Compression = equalizer.Compression();
    p.EqualizerEnabled = equalizer.EqualizerEnabled();
    p.ClipperEnabled = equalizer.ClipperEnabled();
    p.OvershootControl = equalizer.OvershootControl();
    p.OutputGain = outputGain;
    return p;
}

void ApplyProfile(const TProfile& p, TMicEqualizer& equalizer) {
    equalizer.SetBands(p.Bands);
    equalizer.SetCutoffLo(p.CutoffLo);
    equalizer.SetCutoffHi(p.CutoffHi);
    equalizer.SetClipThreshold(p.ClipThreshold);
    equalizer.SetGateThreshold(p.GateThreshold);
    equalizer.SetCompression(p.Compression);
    equalizer.SetEqualizerEnabled(p.EqualizerEnabled);
    equalizer.SetClipperEnabled(p.ClipperEnabled);
    equalizer.SetOvershootControl(p.OvershootControl);
}

void LoadProfile(const std::string& fileName, TProfile& profile) {
    TIniFile ini(fileName);
    TProfile p = profile;

    for (int band = 0; band < TMicEqualizer::kBandCount; ++band)
        LoadBand(ini, band, p.Bands[band]);

    // A lower edge above the upper one drags the upper one along before the file's own upper
    // edge is read, as the equalizer does when the edges are set in this order.
    p.CutoffLo = std::max(ini.ReadInteger(kFilter, kCutoffLo, p.CutoffLo), 0);
    p.CutoffHi = ini.ReadInteger(kFilter, kCutoffHi, std::max(p.CutoffHi, p.CutoffLo));

    LoadDynamics(ini, kClipThreshold, p.ClipThreshold);
    LoadDynamics(ini, kGateThreshold, p.GateThreshold);
    LoadDynamics(ini, kCompression, p.Compression);

    // The dynamics stage never runs without the equalizer.
    p.ClipperEnabled = ini.ReadBool(kClipper, kEnabled, true);
    p.OvershootControl = ini.ReadBool(kClipper, kOvershootControl, true);
    p.EqualizerEnabled = p.ClipperEnabled || ini.ReadBool(kEqualizer, kEnabled, true);

    const double gain = ini.ReadFloat(kOutput, kGain, p.OutputGain);
    p.OutputGain = static_cast<float>(std::clamp(gain, 0.0, 1.0));
    profile = p;
}

void SaveProfile(const std::string& fileName, const TProfile& p) {
    TIniFile ini(fileName);
    for (int band = 0; band < TMicEqualizer::kBandCount; ++band)
        ini.WriteFloat(kEqualizer, BandKey(band), p.Bands[band]);
    ini.WriteInteger(kFilter, kCutoffLo, p.CutoffLo);
    ini.WriteInteger(kFilter, kCutoffHi, p.CutoffHi);
    ini.WriteFloat(kClipper, kClipThreshold, p.ClipThreshold);
    ini.WriteFloat(kClipper, kGateThreshold, p.GateThreshold);
    ini.WriteFloat(kClipper, kCompression, p.Compression);
    ini.WriteBool(kClipper, kEnabled, p.ClipperEnabled);
    ini.WriteBool(kClipper, kOvershootControl, p.OvershootControl);
    ini.WriteBool(kEqualizer, kEnabled, p.EqualizerEnabled);
    ini.WriteFloat(kOutput, kGain, p.OutputGain);
}

} // namespace sonari
