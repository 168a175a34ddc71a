#include "settings/AppSettings.h"

#include "engine/SliderScales.h"

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
constexpr const char* kSoftGain = "SoftGain";
constexpr const char* kSoftGainEnabled = "SoftGainEnabled";
constexpr const char* kLastProfile = "LastProfile";
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

bool DevicesValid(const IDeviceList& devices, const TDeviceSelection& selection) {
    int32_t count = devices.DeviceCount();
    return selection.InputDeviceIndex >= 0 && selection.InputDeviceIndex < count &&
           selection.OutputDeviceIndex >= 0 && selection.OutputDeviceIndex < count;
}

void LoadDevice(const TIniFile& ini, const char* key, const IDeviceList& devices, int32_t& index) {
    std::string name = ini.ReadString(kAudio, key, "");
    if (name.empty())
        return;
    index = devices.IndexOfDevice(name);
    if (index == -1)
        index = 0;
}

// Slider positions go through text, so that a bad one fails as the runtime's conversion does.
// Clamped here as the slider would, before the narrowing to float can overflow.
float ReadPosition(const TIniFile& ini, const char* key, float current) {
    double position = StrToFloat(ini.ReadString(kPlayback, key, FloatToStr(current)));
    return static_cast<float>(std::clamp(position, 0.0, 1.0));
}

} // namespace

void LoadSettings(const std::string& fileName, ISettingsHost& host, const IDeviceList& devices,
                  TDeviceSelection& selection) {
    TIniFile ini(fileName);

    int32_t left = ini.ReadInteger(kWindow, kLeft, kNoLeft);
    if (left != kNoLeft)
        host.SetWindowPosition(left, ini.ReadInteger(kWindow, kTop, host.WindowTop()));

    LoadDevice(ini, kInputDevice, devices, selection.InputDeviceIndex);
    LoadDevice(ini, kOutputDevice, devices, selection.OutputDeviceIndex);

    host.SetSoftGain(ini.ReadInteger(kAudio, kSoftGain, host.SoftGain()));
    host.SetSoftGainEnabled(ini.ReadBool(kAudio, kSoftGainEnabled, host.SoftGainEnabled()));

    host.SetPlaybackVolume(ReadPosition(ini, kVolume, host.PlaybackVolume()));
    host.SetNoiseLevel(ReadPosition(ini, kNoise, host.NoiseLevel()));
    host.SetNoiseSnrDb(NoiseSnrDb(host.NoiseLevel()));

    host.SetProfileFileName(ini.ReadString(kAudio, kLastProfile, ""));
    host.SetToneMode(ini.ReadInteger(kDebug, kGenerateTone, 0));
    host.SetStartInTray(ini.ReadBool(kStartup, kStartInTray, false));
    host.SetStartProcessing(ini.ReadBool(kStartup, kStartProcessing, false));
}

void SaveSettings(const std::string& fileName, const ISettingsHost& host,
                  const IDeviceList& devices, const TDeviceSelection& selection) {
    TIniFile ini(fileName);
    ini.WriteInteger(kWindow, kTop, host.WindowTop());
    ini.WriteInteger(kWindow, kLeft, host.WindowLeft());
    if (DevicesValid(devices, selection)) {
        ini.WriteString(kAudio, kInputDevice, devices.DeviceName(selection.InputDeviceIndex));
        ini.WriteString(kAudio, kOutputDevice, devices.DeviceName(selection.OutputDeviceIndex));
    }
    ini.WriteInteger(kAudio, kSoftGain, host.SoftGain());
    ini.WriteBool(kAudio, kSoftGainEnabled, host.SoftGainEnabled());
    ini.WriteFloat(kPlayback, kVolume, host.PlaybackVolume());
    ini.WriteFloat(kPlayback, kNoise, host.NoiseLevel());
    ini.WriteString(kAudio, kLastProfile, host.ProfileFileName());
    ini.WriteBool(kStartup, kStartInTray, host.StartInTray());
    ini.WriteBool(kStartup, kStartProcessing, host.StartProcessing());
}

} // namespace sonari
