// Arbitrary bytes as a settings or profile file: reading never crashes, edits touch only their
// own key, and nothing that reaches the window or the equalizer is out of range or non-finite.
#include "settings/AppSettings.h"
#include "settings/IniFile.h"
#include "settings/IniText.h"
#include "settings/Profile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>

using namespace sonari;

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "violated: %s\n", what);
        std::abort();
    }
}

bool Finite(float x) { return std::isfinite(x); }

const std::pair<const char*, const char*> kKeys[] = {
    {"Window", "Left"},         {"Window", "Top"},         {"Audio", "InputDevice"},
    {"Audio", "SoftGain"},      {"Audio", "LastProfile"},  {"Playback", "Volume"},
    {"Playback", "Noise"},      {"Debug", "GenerateTone"}, {"Equalizer", "Band0"},
    {"Equalizer", "Enabled"},   {"Filter", "CutoffLo"},    {"Clipper", "ClipThreshold"},
    {"Clipper", "Compression"}, {"Output", "Gain"},        {"", "Left"}};

// An edit changes its own key and no other.
void CheckEdit(const std::string& text, const std::string& value) {
    TIniText ini(text);
    std::string before[std::size(kKeys)];
    for (size_t i = 0; i < std::size(kKeys); ++i)
        before[i] = ini.Value(kKeys[i].first, kKeys[i].second).value_or("\x01missing");
    size_t edited = value.size() % std::size(kKeys);
    if (!ini.SetValue(kKeys[edited].first, kKeys[edited].second, value))
        return;
    for (size_t i = 0; i < std::size(kKeys); ++i) {
        auto after = ini.Value(kKeys[i].first, kKeys[i].second);
        if (i == edited)
            Check(after == value, "an edited key reads back its value");
        else if (std::string(kKeys[i].first) != kKeys[edited].first ||
                 std::string(kKeys[i].second) != kKeys[edited].second)
            Check(after.value_or("\x01missing") == before[i], "an edit leaves other keys alone");
    }
}

void CheckSettings(const std::string& file) {
    TAppSettings settings;
    try {
        LoadSettings(file, settings);
    } catch (const Exception&) {
        // Conversion errors and unreadable files are reported, not crashes.
    }
    Check(settings.PlaybackVolume >= 0 && settings.PlaybackVolume <= 1, "volume within 0..1");
    Check(settings.NoiseLevel >= 0 && settings.NoiseLevel <= 1, "noise within 0..1");
}

void CheckProfile(const std::string& file) {
    static TMicEqualizer equalizer;
    TProfile profile = ProfileOf(equalizer, 1.0f);
    try {
        LoadProfile(file, profile);
    } catch (const Exception&) {
    }
    Check(profile.OutputGain >= 0 && profile.OutputGain <= 1, "output gain within 0..1");
    ApplyProfile(profile, equalizer);
    for (float band : equalizer.Bands())
        Check(Finite(band) && std::abs(band) <= TMicEqualizer::kBandLimitDb,
              "band gains finite and bounded");
    Check(Finite(equalizer.ClipThreshold()) && equalizer.ClipThreshold() > 0, "clip threshold");
    Check(Finite(equalizer.GateThreshold()) && equalizer.GateThreshold() > 0, "gate threshold");
    Check(Finite(equalizer.Compression()) && equalizer.Compression() > 0, "compression");
    Check(!equalizer.ClipperEnabled() || equalizer.EqualizerEnabled(), "clipper implies equalizer");
    Check(equalizer.CutoffLo() >= 0 && equalizer.CutoffLo() <= equalizer.CutoffHi() &&
              equalizer.CutoffHi() <= equalizer.SamplesPerSec() / 2,
          "cut-offs ordered within the band");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Memory-backed when the system has it: the file is rewritten for every input.
    static const std::string file =
        std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/sonari-ini-fuzz-" +
        std::to_string(::getpid()) + ".ini";
    std::string text(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    try {
        TIniFile ini(file);
        for (const auto& [section, key] : kKeys) {
            Check(std::isfinite(ini.ReadFloat(section, key, 0.5)), "decimals are finite");
            ini.ReadInteger(section, key, 0);
            ini.ReadString(section, key, "");
        }
    } catch (const EIniFileException&) {
    }
    // The last line of the input doubles as a value to write.
    CheckEdit(text, text.substr(text.rfind('\n') + 1));
    CheckSettings(file);
    CheckProfile(file);
    return 0;
}
