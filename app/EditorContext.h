#pragma once

#include "SND/LogFreq.h"
#include "SND/MicEqual.h"
#include "engine/LevelMeters.h"

#include <functional>

namespace sonari {

// The engine modes the editors tell apart (the values of the engine's TDspMode).
inline constexpr int kModeAdjustGain = 2;
inline constexpr int kModeRecord = 3;
inline constexpr int kModePlay = 4;
inline constexpr int kModePlayToFile = 5;
inline constexpr int kModeProcess = 6;

// The user edits only while a voice plays through the processor or the microphone is live.
inline bool IsEditMode(int mode) { return mode == kModePlay || mode == kModeProcess; }
// The processor's output exists in the three playing modes.
inline bool IsOutputMode(int mode) { return mode >= kModePlay && mode <= kModeProcess; }

// What both editors read and write; the main window fills it in from its engine. The objects
// outlive the editors. Main thread only, like the engine's block handler that changes them.
struct TEditorContext {
    TMicEqualizer& Equalizer;
    const TLogFreqSpectrum& InSpectrum;  // before the equalizer
    const TLogFreqSpectrum& OutSpectrum; // after the dynamics stage
    const THistograms& Histograms;       // envelope levels before and after the gain stage
    std::function<int()> Mode;           // the engine's mode, 0..6
    std::function<void()> MarkModified;  // called after every edit of a profile value
};

} // namespace sonari
