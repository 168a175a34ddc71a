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

struct TWindow : ISettingsHost {
    int32_t left = 0, top = 0, gain = 20, tone = 0;
    bool flags[4] = {};
    float volume = 0.5f, noise = 0.5f, snr = 10.0f;
    std::string profile;
    int32_t WindowLeft() const override { return left; }
    int32_t WindowTop() const override { return top; }
    void SetWindowPosition(int32_t l, int32_t t) override { left = l, top = t; }
    int32_t SoftGain() const override { return gain; }
    void SetSoftGain(int32_t g) override { gain = g < -100 ? -100 : g > 100 ? 100 : g; }
    bool SoftGainEnabled() const override { return flags[0]; }
    void SetSoftGainEnabled(bool e) override { flags[0] = e; }
    float PlaybackVolume() const override { return volume; }
    void SetPlaybackVolume(float v) override { volume = v; }
    float NoiseLevel() const override { return noise; }
    void SetNoiseLevel(float v) override { noise = v; }
    void SetNoiseSnrDb(float db) override { snr = db; }
    std::string ProfileFileName() const override { return profile; }
    void SetProfileFileName(const std::string& f) override { profile = f; }
    void SetToneMode(int32_t t) override { tone = t; }
    bool StartInTray() const override { return flags[1]; }
    void SetStartInTray(bool s) override { flags[1] = s; }
    bool StartProcessing() const override { return flags[2]; }
    void SetStartProcessing(bool s) override { flags[2] = s; }
};

struct TNoDevices : IDeviceList {
    int32_t DeviceCount() const override { return 2; }
    std::string DeviceName(int32_t index) const override { return index ? "02  B" : "01  A"; }
    int32_t IndexOfDevice(const std::string& name) const override {
        return name == "01  A" ? 0 : name == "02  B" ? 1 : -1;
    }
};

void CheckSettings(const std::string& file) {
    TWindow window;
    TNoDevices devices;
    TDeviceSelection selection;
    try {
        LoadSettings(file, window, devices, selection);
    } catch (const Exception&) {
        // Conversion errors and unreadable files are reported, not crashes.
    }
    Check(window.volume >= 0 && window.volume <= 1, "volume within 0..1");
    Check(window.noise >= 0 && window.noise <= 1, "noise within 0..1");
    Check(Finite(window.snr) && window.snr >= -30 && window.snr <= 50, "noise ratio in range");
    Check(selection.InputDeviceIndex >= 0 && selection.InputDeviceIndex < 2, "input device");
    Check(selection.OutputDeviceIndex >= 0 && selection.OutputDeviceIndex < 2, "output device");
}

void CheckProfile(const std::string& file) {
    static TMicEqualizer equalizer;
    TProfileHost host(equalizer);
    try {
        LoadProfile(file, host);
    } catch (const Exception&) {
    }
    for (float band : equalizer.Bands)
        Check(Finite(band) && std::abs(band) <= TMicEqualizer::kBandLimitDb,
              "band gains finite and bounded");
    Check(Finite(equalizer.ClipThreshold) && equalizer.ClipThreshold > 0, "clip threshold");
    Check(Finite(equalizer.GateThreshold) && equalizer.GateThreshold > 0, "gate threshold");
    Check(Finite(equalizer.Compression) && equalizer.Compression > 0, "compression");
    Check(host.OutputGain() >= 0 && host.OutputGain() <= 1, "output gain within 0..1");
    Check(!equalizer.ClipperEnabled || equalizer.EqualizerEnabled, "clipper implies equalizer");
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
