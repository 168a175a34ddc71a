#pragma once

// The engine's reports as the window shows them: the pixels of the two level bars, the
// captions of the figures and the hints of the sliders. "Round" is round half to even.

#include "engine/LevelMeters.h"

#include <QString>

#include <cstdint>

namespace sonari {

// The input bar (microphone gain step): the waveform's excursion between -MAX and +MAX, centred
// in a frame of the given client width; not cut to the frame.
struct TInputBar {
    int32_t Left = 0;  // pixels from the frame's client left edge
    int32_t Width = 0; // pixels, at least 2
    bool Red = false;  // an excursion beyond 80 % of full scale: red, else bright green
};
TInputBar InputBarGeometry(const TInputLevels& levels, int32_t clientWidth);

// The output bar: 2 pixels per dB with 0 dBFS at the right end of a frame `frameWidth` wide.
struct TOutputBar {
    int32_t Width = 0;    // the level bar, within 0..frameWidth (-999 dBFS empties it)
    int32_t MarkLeft = 0; // the 2-pixel peak mark, not cut to the frame
    bool Clip = false;    // the peak reached full scale: the clip light is red, else grey
};
TOutputBar OutputBarGeometry(float rmsDb, float peakDb, int32_t frameWidth);

// Position of a progress bar 0..maximum for a fraction of the file's length; the last block of
// a recording may go past the end, the bar stops there.
int32_t ProgressPosition(float fraction, int32_t maximum);

// Caption texts of the level figures: "%d dBFS" and "%d dB".
QString DbfsCaption(float db);
QString DbCaption(long double db);

// Hint texts of the sliders: playback volume "+%.0f dB" above 0, else "%.0f dB"; output gain
// "0 dB" at exactly 0, else "%.0f dB".
QString PlaybackVolumeHint(float db);
QString OutputGainHint(float db);

} // namespace sonari
