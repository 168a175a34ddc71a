#pragma once

#include "SND/MicEqual.h"
#include "engine/DisplayAnalysis.h"
#include "engine/DspMode.h"

#include <functional>

namespace sonari {

// What both editors read and change; the main window fills it in from its engine. The objects
// outlive the editors. Main thread only.
struct TEditorContext {
    // The equalizer as edited, and the way to change it (the engine hands every change to the
    // processing chain).
    const TMicEqualizer& Equalizer;
    std::function<void(const std::function<void(TMicEqualizer&)>&)> EditEqualizer;
    // Spectra, histograms and the smoothed envelope of the running mode.
    const TDisplayAnalysis& Analysis;
    std::function<TDspMode()> Mode;     // the engine's mode
    std::function<void()> MarkModified; // called after every edit of a profile value
};

} // namespace sonari
