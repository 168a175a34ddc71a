#pragma once

#include "SND/WDM/WdmAudio.h"

#include "SND/WDM/DeviceList.h"
#include "settings/AppSettings.h"

#include <QPoint>

#include <cstdint>
#include <optional>
#include <string>

namespace sonari {

class TDsp;
class TProfileController;

// The start-up choices of the startup options dialog.
struct TStartOptions {
    bool InTray = false;     // start hidden in the notification area
    bool Processing = false; // start live processing right after start-up
};

// The window's controls that are settings, not profile values.
struct TSettingsControls {
    int32_t SoftGain = 0; // dB
    bool SoftGainEnabled = false;
    float PlaybackVolume = 0.0f; // slider position 0..1
    float NoiseLevel = 0.0f;     // slider position 0..1
    bool LowLatency = true;      // the sound card dialog's "Low latency"
};

// The settings as the window shows them.
class ISettingsView {
public:
    virtual ~ISettingsView() = default;

    // The window's position on the screen.
    virtual QPoint Position() const = 0;
    virtual void MoveTo(QPoint position) = 0;
    virtual TSettingsControls SettingsControls() const = 0;
    // Sets the controls; the software gain's box enables its value as a click would.
    virtual void ShowSettingsControls(const TSettingsControls& controls) = 0;
};

// The settings file applied to the window and the engine at start and collected from them at
// the end. Main thread only.
class TSettingsBinder {
public:
    TSettingsBinder(ISettingsView& view, TDsp& dsp, const TWdmAudio& devices,
                    TDeviceSelection& selection, TProfileController& profiles,
                    TStartOptions& startOptions);

    // Reads the settings file over what the window holds now and applies the result. A bad
    // value ends the read at its key: what was read before it is applied, the file is kept as
    // ".bak" beside itself (the keys after the bad one will be written with the values the
    // window holds when the program ends), and the text for the operator is returned.
    std::optional<std::string> Load();
    // Writes the settings file; failures raise.
    void Save() const;

    TAppSettings Collect() const;
    // A saved device that is gone selects device 0; the engine gets what the controls show.
    void Apply(const TAppSettings& settings);
    // The engine takes the latency the sound card dialog shows (from its next start of
    // processing).
    void ApplyLatency();
    // The settings placed the window.
    bool Positioned() const { return positioned_; }

private:
    ISettingsView& view_;
    TDsp& dsp_;
    const TWdmAudio& devices_;
    TDeviceSelection& selection_;
    TProfileController& profiles_;
    TStartOptions& startOptions_;
    bool positioned_ = false;
};

} // namespace sonari
