#include "app/SettingsBinder.h"

#include "SND/WDM/DeviceChoice.h"
#include "app/ProfileController.h"
#include "engine/Dsp.h"
#include "engine/SliderScales.h"
#include "settings/SettingsFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace sonari {

TSettingsBinder::TSettingsBinder(ISettingsView& view, TDsp& dsp, const TWdmAudio& devices,
                                 TDeviceSelection& selection, TProfileController& profiles,
                                 TStartOptions& startOptions)
    : view_(view), dsp_(dsp), devices_(devices), selection_(selection), profiles_(profiles),
      startOptions_(startOptions) {}

std::optional<std::string> TSettingsBinder::Load() {
    const std::string file = SettingsFileName();
    TAppSettings loaded = Collect();
    loaded.HasPosition = false;
    try {
        LoadSettings(file, loaded);
    } catch (const std::exception& e) {
        Apply(loaded);
        const std::string copy = file + ".bak";
        std::error_code error;
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing,
                                   error);
        return std::string(e.what()) + "\n\nThe settings in " + file + " could not all be read" +
               (error ? "." : "; the file was kept as " + copy + ".");
    }
    Apply(loaded);
    return std::nullopt;
}

void TSettingsBinder::ApplyLatency() {
    dsp_.SetLatencyMode(view_.SettingsControls().LowLatency ? lmLow : lmNormal);
}

void TSettingsBinder::Save() const { SaveSettings(SettingsFileName(), Collect()); }

TAppSettings TSettingsBinder::Collect() const {
    TAppSettings s;
    s.HasPosition = true;
    s.Left = view_.Position().x();
    s.Top = view_.Position().y();
    // Devices not chosen now leave the saved ones in the file.
    if (dsp_.DevicesValid()) {
        const TSavedDevice input = SavedDevice(devices_, selection_.InputDeviceIndex);
        const TSavedDevice output = SavedDevice(devices_, selection_.OutputDeviceIndex);
        s.InputDevice = input.Caption;
        s.InputDeviceId = input.Key;
        s.OutputDevice = output.Caption;
        s.OutputDeviceId = output.Key;
    }
    const TSettingsControls controls = view_.SettingsControls();
    s.SoftGain = controls.SoftGain;
    s.SoftGainEnabled = controls.SoftGainEnabled;
    s.PlaybackVolume = controls.PlaybackVolume;
    s.NoiseLevel = controls.NoiseLevel;
    s.Latency = controls.LowLatency ? lmLow : lmNormal;
    s.LastProfile = profiles_.FileName();
    s.ToneMode = dsp_.ToneMode();
    s.StartInTray = startOptions_.InTray;
    s.StartProcessing = startOptions_.Processing;
    return s;
}

void TSettingsBinder::Apply(const TAppSettings& s) {
    if (s.HasPosition) {
        positioned_ = true;
        view_.MoveTo({s.Left, s.Top});
    }
    // By key, then by caption; a device not found stays chosen as missing, never replaced.
    SelectSavedDevices(devices_, {s.InputDevice, s.InputDeviceId},
                       {s.OutputDevice, s.OutputDeviceId}, selection_);
    view_.ShowSettingsControls(
        {s.SoftGain, s.SoftGainEnabled, s.PlaybackVolume, s.NoiseLevel, s.Latency == lmLow});
    // The sliders limit what they take: the engine gets what they show.
    const TSettingsControls shown = view_.SettingsControls();
    dsp_.SetSoftwareGain(shown.SoftGainEnabled, shown.SoftGain);
    dsp_.SetPlaybackGainDb(PlaybackGainDb(shown.PlaybackVolume));
    dsp_.SetNoiseSnrDb(NoiseSnrDb(shown.NoiseLevel));
    dsp_.SetToneMode(s.ToneMode);
    ApplyLatency();
    profiles_.SetFileName(s.LastProfile);
    startOptions_.InTray = s.StartInTray;
    startOptions_.Processing = s.StartProcessing;
}

} // namespace sonari
