#include "settings/AppSettings.h"

#include "settings/IniFile.h"
#include "settings/IniFormat.h"

#include <algorithm>

namespace sonari {

namespace {

// Sections and keys, shared by load and save.
constexpr const char* kWindow = "Window";
constexpr const char* kTop = "Top";
constexpr const char* kLeft = "Left";
constexpr const char* kAudio = "Audio";
constexpr const char* kInputDevice = "InputDevice";
constexpr const char* kOutputDevice = "OutputDevice";
constexpr const char* kInputDeviceId = "InputDeviceId";
constexpr const char* kOutputDeviceId = "OutputDeviceId";
constexpr const char* kSoftGain = "SoftGain";
constexpr const char* kSoftGainEnabled = "SoftGainEnabled";
constexpr const char* kLastProfile = "LastProfile";
constexpr const char* kLatency = "Latency";
constexpr const char* kPlayback = "Playback";
constexpr const char* kVolume = "Volume";
constexpr const char* kNoise = "Noise";
constexpr const char* kDebug = "Debug";
constexpr const char* kGenerateTone = "GenerateTone";
constexpr const char* kStartup = "Startup";
constexpr const char* kStartInTray = "StartInTray";
constexpr const char* kStartProcessing = "StartProcessing";

// Stands for a missing "Left": the window then stays centred on the screen.
constexpr int32_t kNoLeft = -111;

// Slider positions go through text, so that a bad one fails as the runtime's conversion does.
// Clamped here as the slider would, before the narrowing to float can overflow.
float ReadPosition(const TIniFile& ini, const char* key, float current) {
    double position = StrToFloat(ini.ReadString(kPlayback, key, FloatToStr(current)));
    return static_cast<float>(std::clamp(position, 0.0, 1.0));
}

} // namespace

void LoadSettings(const std::string& fileName, TAppSettings& s) {
    TIniFile ini(fileName);

    const int32_t left = ini.ReadInteger(kWindow, kLeft, kNoLeft);
    if (left != kNoLeft) {
        s.HasPosition = true;
        s.Left = left;
        s.Top = ini.ReadInteger(kWindow, kTop, s.Top);
    }
    s.InputDevice = ini.ReadString(kAudio, kInputDevice, s.InputDevice);
    s.OutputDevice = ini.ReadString(kAudio, kOutputDevice, s.OutputDevice);
    // A key belongs to the name beside it: an older file's name comes without one.
    s.InputDeviceId = ini.ReadString(kAudio, kInputDeviceId, "");
    s.OutputDeviceId = ini.ReadString(kAudio, kOutputDeviceId, "");
    s.SoftGain = ini.ReadInteger(kAudio, kSoftGain, s.SoftGain);
    s.SoftGainEnabled = ini.ReadBool(kAudio, kSoftGainEnabled, s.SoftGainEnabled);
    s.PlaybackVolume = ReadPosition(ini, kVolume, s.PlaybackVolume);
    s.NoiseLevel = ReadPosition(ini, kNoise, s.NoiseLevel);
    s.LastProfile = ini.ReadString(kAudio, kLastProfile, "");
    if (const int32_t latency = ini.ReadInteger(kAudio, kLatency, s.Latency);
        latency == 0 || latency == 1)
        s.Latency = latency;
    s.ToneMode = ini.ReadInteger(kDebug, kGenerateTone, 0);
    s.StartInTray = ini.ReadBool(kStartup, kStartInTray, false);
    s.StartProcessing = ini.ReadBool(kStartup, kStartProcessing, false);
}

void SaveSettings(const std::string& fileName, const TAppSettings& s) {
    TIniFile ini(fileName);
    ini.WriteInteger(kWindow, kTop, s.Top);
    ini.WriteInteger(kWindow, kLeft, s.Left);
    if (!s.InputDevice.empty() && !s.OutputDevice.empty()) {
        ini.WriteString(kAudio, kInputDevice, s.InputDevice);
        ini.WriteString(kAudio, kOutputDevice, s.OutputDevice);
        ini.WriteString(kAudio, kInputDeviceId, s.InputDeviceId);
        ini.WriteString(kAudio, kOutputDeviceId, s.OutputDeviceId);
    }
    ini.WriteInteger(kAudio, kSoftGain, s.SoftGain);
    ini.WriteBool(kAudio, kSoftGainEnabled, s.SoftGainEnabled);
    ini.WriteFloat(kPlayback, kVolume, s.PlaybackVolume);
    ini.WriteFloat(kPlayback, kNoise, s.NoiseLevel);
    ini.WriteString(kAudio, kLastProfile, s.LastProfile);
    ini.WriteInteger(kAudio, kLatency, s.Latency);
    ini.WriteBool(kStartup, kStartInTray, s.StartInTray);
    ini.WriteBool(kStartup, kStartProcessing, s.StartProcessing);
}

} // namespace sonari
