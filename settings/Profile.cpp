#include "settings/Profile.h"

#include "engine/SliderScales.h"

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
constexpr const char* kOutput = "Output";
constexpr const char* kGain = "Gain";
constexpr const char* kStatusPrefix = "  Profile: ";

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

void BecomeCurrent(const std::string& fileName, IProfileHost& host) {
    host.SetProfileFileName(fileName);
    host.SetStatusText(kStatusPrefix + fileName);
    host.SetModified(false);
}

} // namespace

void LoadProfile(const std::string& fileName, IProfileHost& host) {
    TIniFile ini(fileName);
    TMicEqualizer& equalizer = host.Equalizer();

    for (int band = 0; band < TMicEqualizer::kBandCount; ++band)
        LoadBand(ini, band, equalizer.Bands[band]);
    equalizer.UpdateEqualizer();

    // Lower edge first: it may push the upper one before the file's own upper edge is applied.
    equalizer.SetCutoffLo(ini.ReadInteger(kFilter, kCutoffLo, equalizer.CutoffLo()));
    equalizer.SetCutoffHi(ini.ReadInteger(kFilter, kCutoffHi, equalizer.CutoffHi()));

    LoadDynamics(ini, kClipThreshold, equalizer.ClipThreshold);
    LoadDynamics(ini, kGateThreshold, equalizer.GateThreshold);
    LoadDynamics(ini, kCompression, equalizer.Compression);

    // The dynamics stage never runs without the equalizer.
    equalizer.ClipperEnabled = ini.ReadBool(kClipper, kEnabled, true);
    host.SetClipperChecked(equalizer.ClipperEnabled);
    equalizer.EqualizerEnabled =
        equalizer.ClipperEnabled || ini.ReadBool(kEqualizer, kEnabled, true);
    host.SetEqualizerChecked(equalizer.EqualizerEnabled);

    double gain = ini.ReadFloat(kOutput, kGain, host.OutputGain());
    host.SetOutputGain(static_cast<float>(std::clamp(gain, 0.0, 1.0)));
    host.OutputGainChanged();

    BecomeCurrent(fileName, host);
}

void SaveProfile(const std::string& fileName, IProfileHost& host) {
    TIniFile ini(fileName);
    const TMicEqualizer& equalizer = host.Equalizer();
    for (int band = 0; band < TMicEqualizer::kBandCount; ++band)
        ini.WriteFloat(kEqualizer, BandKey(band), equalizer.Bands[band]);
    ini.WriteInteger(kFilter, kCutoffLo, equalizer.CutoffLo());
    ini.WriteInteger(kFilter, kCutoffHi, equalizer.CutoffHi());
    ini.WriteFloat(kClipper, kClipThreshold, equalizer.ClipThreshold);
    ini.WriteFloat(kClipper, kGateThreshold, equalizer.GateThreshold);
    ini.WriteFloat(kClipper, kCompression, equalizer.Compression);
    ini.WriteBool(kClipper, kEnabled, equalizer.ClipperEnabled);
    ini.WriteBool(kEqualizer, kEnabled, equalizer.EqualizerEnabled);
    ini.WriteFloat(kOutput, kGain, host.OutputGain());
    BecomeCurrent(fileName, host);
}

void TProfileHost::SetOutputGain(float position) {
    // Written so that NaN lands at 0 rather than passing the comparisons.
    outputGain_ = position >= 1.0f ? 1.0f : position > 0.0f ? position : 0.0f;
}

void TProfileHost::OutputGainChanged() {
    if (OnOutputGainChange)
        OnOutputGainChange(OutputGainDb(outputGain_));
}

} // namespace sonari
