#pragma once

namespace sonari {

// The main window's sliders hold positions 0..1; these are the levels they stand for.

// Playback volume: (v - 0.75) * 80, -60..+20 dB, applied by the output interpolator in step 4.
float PlaybackGainDb(float sliderValue);
// Output gain: (v - 1) * 80, -80..0 dB, applied by the output interpolator while processing.
float OutputGainDb(float sliderValue);
// Noise mixer ratio: (1 - v) * 80 - 30, +50 dB (almost no noise) .. -30 dB.
float NoiseSnrDb(float sliderValue);

} // namespace sonari
