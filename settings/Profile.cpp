#include "settings/Profile.h"

#include "settings/IniFile.h"
#include "settings/IniFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

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

// The file with TIniFile's typed reads, noting every value it leaves unused.
class TProfileReader {
public:
    TProfileReader(const std::string& fileName, std::vector<TIgnoredValue>* ignored)
        : ini_(fileName), ignored_(ignored) {}

    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
        if (const auto text = Text(section, key); text && !TextToInt(*text))
            Ignore(section, key, "not a number");
        return ini_.ReadInteger(section, key, def);
    }
    bool ReadBool(const std::string& section, const std::string& key, bool def) const {
        return ReadInteger(section, key, def ? 1 : 0) != 0;
    }
    double ReadFloat(const std::string& section, const std::string& key, double def) const {
        return ReadNumber(section, key).value_or(def);
    }
    // Nothing when the key is missing or its text is not a number.
    std::optional<double> ReadNumber(const std::string& section, const std::string& key) const {
        const auto text = Text(section, key);
        if (!text)
            return std::nullopt;
        const std::optional<double> value = TextToFloat(*text);
        if (!value)
            Ignore(section, key, "not a number");
        return value;
    }
    void Ignore(const std::string& section, const std::string& key, std::string reason) const {
        if (ignored_)
            ignored_->push_back({section, key, Text(section, key).value_or(""), std::move(reason)});
    }

private:
    std::optional<std::string> Text(const std::string& section, const std::string& key) const {
        if (!ini_.ValueExists(section, key))
            return std::nullopt;
        return ini_.ReadString(section, key, "");
    }

    TIniFile ini_;
    std::vector<TIgnoredValue>* ignored_;
};

// Gains beyond what the equalizer uses would only mislead the editor's drawing.
void LoadBand(const TProfileReader& ini, int band, float& gainDb) {
    const std::optional<double> value = ini.ReadNumber(kEqualizer, BandKey(band));
    if (!value)
        return;
    if (std::abs(*value) <= TMicEqualizer::kBandLimitDb)
        gainDb = static_cast<float>(*value);
    else
        ini.Ignore(kEqualizer, BandKey(band),
                   "beyond +-" + FloatToStr(TMicEqualizer::kBandLimitDb) + " dB");
}

// Thresholds and ratio divide and take powers in the gain law: only positive finite Singles.
void LoadDynamics(const TProfileReader& ini, const char* key, float& target) {
    const std::optional<double> value = ini.ReadNumber(kClipper, key);
    if (!value)
        return;
    if (!(*value > 0))
        return ini.Ignore(kClipper, key, "not positive");
    const bool fits = *value <= std::numeric_limits<float>::max();
    if (const float single = fits ? static_cast<float>(*value) : 0.0f; single > 0)
        target = single;
    else
        ini.Ignore(kClipper, key, "out of the range of a 32-bit float");
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

void LoadProfile(const std::string& fileName, TProfile& profile,
                 std::vector<TIgnoredValue>* ignored) {
    const TProfileReader ini(fileName, ignored);
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
