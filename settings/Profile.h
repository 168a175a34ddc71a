#pragma once

#include "SND/MicEqual.h"

#include <functional>
#include <string>

namespace sonari {

// What a profile is loaded into and saved from: the engine's equalizer and the main window's
// equalizer and dynamics check boxes, output gain slider, profile path, status text and
// modified flag. The main window implements it; TProfileHost serves programs without one.
class IProfileHost {
public:
    virtual ~IProfileHost() = default;

    // Bands, cut-offs, dynamics parameters and the two switches.
    virtual TMicEqualizer& Equalizer() = 0;
    // The two "Enabled" check boxes, set to match without running their click handlers.
    virtual void SetEqualizerChecked(bool checked) = 0;
    virtual void SetClipperChecked(bool checked) = 0;
    // "Output Gain" slider position 0..1.
    virtual float OutputGain() const = 0;
    virtual void SetOutputGain(float position) = 0;
    // The slider's change handler: applies the gain to the running output.
    virtual void OutputGainChanged() = 0;
    virtual void SetProfileFileName(const std::string& fileName) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetModified(bool modified) = 0;
};

// Loads a profile into the host: keys missing from the file leave their values as they are, a
// missing file switches equalizer and dynamics on and changes nothing else. Values that would
// harm the processor are skipped like unreadable ones: band gains beyond the equalizer's
// +-TMicEqualizer::kBandLimitDb and dynamics values that are not positive finite numbers. The file
// becomes the current profile. EIniFileException when the file exists but cannot be read; the
// current profile then stays.
void LoadProfile(const std::string& fileName, IProfileHost& host);

// Writes every profile key, each reaching the file at once, keeping whatever else the file
// holds; then the file becomes the current profile. EIniFileException "Unable to write to %s"
// leaves the current profile, status text and modified flag as they were.
void SaveProfile(const std::string& fileName, IProfileHost& host);

// A profile host without a window: keeps what the window would show.
class TProfileHost : public IProfileHost {
public:
    explicit TProfileHost(TMicEqualizer& equalizer) : equalizer_(equalizer) {}

    TMicEqualizer& Equalizer() override { return equalizer_; }
    void SetEqualizerChecked(bool checked) override { EqualizerChecked = checked; }
    void SetClipperChecked(bool checked) override { ClipperChecked = checked; }
    float OutputGain() const override { return outputGain_; }
    void SetOutputGain(float position) override;
    void OutputGainChanged() override;
    void SetProfileFileName(const std::string& fileName) override { ProfileFileName = fileName; }
    void SetStatusText(const std::string& text) override { StatusText = text; }
    void SetModified(bool modified) override { Modified = modified; }

    bool EqualizerChecked = true;
    bool ClipperChecked = false;
    std::string ProfileFileName;
    std::string StatusText = "  Default profile";
    bool Modified = false;
    // Runs with the output gain in dB whenever a profile sets the slider.
    std::function<void(float gainDb)> OnOutputGainChange;

private:
    TMicEqualizer& equalizer_;
    float outputGain_ = 1.0f;
};

} // namespace sonari
