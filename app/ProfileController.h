#pragma once

#include "SND/MicEqual.h"
#include "app/Prompts.h"
#include "settings/Profile.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace sonari {

// The profile values as the engine holds them.
class IProfileEngine {
public:
    virtual ~IProfileEngine() = default;

    // The equalizer as edited, and the way to change it.
    virtual const TMicEqualizer& Equalizer() const = 0;
    virtual void EditEqualizer(const std::function<void(TMicEqualizer&)>& edit) = 0;
    // The gain the output runs with, and the output gain of live processing, in dB.
    virtual float InterpolatorGainDb() const = 0;
    virtual void SetOutputGainDb(float gainDb) = 0;
};

// The profile as the window shows it.
class IProfileView {
public:
    virtual ~IProfileView() = default;

    // The status bar's profile text.
    virtual void ShowProfileText(const QString& text) = 0;
    // The "Enabled" boxes of equalizer and dynamics and the "Overshoot control" box (usable
    // only while the dynamics are on), set without running their handlers.
    virtual void ShowSwitches(const TMicEqualizer& equalizer) = 0;
    // The output gain slider's position 0..1, and setting it (its hint follows).
    virtual float OutputGain() const = 0;
    virtual void ShowOutputGain(float value) = 0;
    virtual void RepaintEditors() = 0;
};

// The current profile: its file, whether it was changed since (the status text says which),
// loading and saving it with the question before unsaved changes are lost, and the operator's
// changes of profile values outside the editors. Main thread only.
class TProfileController {
public:
    // `folder` (created when missing) is where the file dialogs start.
    TProfileController(IProfileEngine& engine, IProfileView& view, TPrompts& prompts,
                       const QString& folder);

    const QString& ProfileFolder() const { return folder_; }
    // Full path of the current profile, "" for the default one.
    const std::string& FileName() const { return fileName_; }
    // The profile to load at start (the settings' last profile), not yet loaded.
    void SetFileName(const std::string& fileName) { fileName_ = fileName; }
    bool Modified() const { return modified_; }
    void MarkModified();
    TProfile Current() const;

    // At start: the file named by FileName() when it exists. The error text when it cannot
    // be read.
    std::optional<std::string> LoadLast();
    // Asks `question` while the profile is modified; Yes saves first (its dialog may still be
    // cancelled). False when the operator cancels.
    bool OfferToSave(const QString& question);
    // The window closes unless the operator cancels the save question.
    bool CloseQuery();

    // --- the operator's commands ---
    void LoadClick(); // asks to save, then a file to open
    void SaveClick(); // a file to save to, the current one offered
    // A profile chosen from the tray menu, after the save question.
    void Select(const QString& fileName);
    // The switches: the dynamics never run without the equalizer.
    void EqualizerSwitched(bool on);
    void DynamicsSwitched(bool on);
    void OvershootSwitched(bool on);
    // All seven bands to 0 dB.
    void ResetBands();
    // The output gain slider moved to `value`: applied to processing; the profile counts as
    // modified only when the gain differs from the one the output runs with.
    void OutputGainChanged(float value);

private:
    void Apply(const TProfile& profile);
    void Become(const std::string& fileName);
    void LoadFile(const QString& fileName);
    void SaveFile(const QString& fileName);

    IProfileEngine& engine_;
    IProfileView& view_;
    TPrompts& prompts_;
    QString folder_;
    std::string fileName_;
    bool modified_ = false;
    TFileDialogState openDialog_, saveDialog_;
};

} // namespace sonari
