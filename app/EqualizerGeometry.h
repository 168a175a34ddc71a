#pragma once

// Geometry of the equalizer editor: the plot, the log-frequency and level axes, the handles,
// what a click picks and what a drag sets, the label texts, and which layers a mode shows.
// Painting and hit-testing both use these, so they can never disagree. "Round" is round half
// to even throughout.

#include "app/PlotGeometry.h"
#include "engine/DspMode.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sonari {

inline constexpr int kEqBandCount = 7;
inline constexpr int kEqColumns = 512; // 30 Hz at column 0, 6000 Hz at column 512

// Rectangle filled and framed: the paint box shrunk by 10, 513 wide, 15 free below.
TRect EqFrameRect(int paintHeight);
// The plot (L, T, R, B) used for curves and hit-testing: the frame one pixel shorter.
TRect EqPlotRect(int paintHeight);

// What a mode shows: the response, the handles and the darker plot while the processor's
// output exists and the equalizer is on; the long-term input as bars while a recording plays;
// the live input as a line while the microphone is set up; the output while it exists.
bool EqShowsEqualizer(TDspMode mode, bool equalizerOn);
bool EqShowsInputBars(TDspMode mode);
bool EqShowsInputLine(TDspMode mode);

// Column = Round(512 * ln(f / 30) / ln 200); 30 Hz -> 0, 6000 Hz -> 512.
int FreqToX(double hz);
// f = 30 * exp(ln 200 * column / 512), in Hz.
float XToFreq(int column);
// y = T + 40 - Round(2 * dB): 2 pixels per dB, +20 dB at the top edge.
int DbToY(const TRect& plot, double db);
// The same, limited to T..B (upper limit first); NaN lies at the bottom.
int ClampedDbToY(const TRect& plot, double db);
// dB = (T + 40 - y) / 2.
float YToDb(const TRect& plot, int y);
// Centre frequency of band i (0..6): 75 * 2^i Hz, and its screen column L + FreqToX.
int BandHz(int band);
int BandX(const TRect& plot, int band);

enum TEqDragMode : int { edNone = 0, edCutoffLo = 1, edCutoffHi = 2, edBand = 3 };

// What a press at (x, y) drags: outside the plot nothing; in the lower half (y >= (T + B) div
// 2) the low cut-off left of 1000 Hz, else the high one; in the upper half a band gain.
TEqDragMode EqDragModeAt(const TRect& plot, int x, int y);

// Equalizer values an editor drag can change.
struct TEqValues {
    int32_t CutoffLo = 300;                  // Hz
    int32_t CutoffHi = 2700;                 // Hz
    std::array<float, kEqBandCount> Bands{}; // dB
    bool operator==(const TEqValues&) const = default;
};

// Low cut-off for column x: Round(f / 5) * 5 of f = Round(XToFreq(x - L)), 50..500 Hz.
int32_t CutoffLoAt(const TRect& plot, int x);
// High cut-off: Round(f / 50) * 50, 1500..5700 Hz.
int32_t CutoffHiAt(const TRect& plot, int x);
// Band nearest to column x on the log axis: Round((x - x75) / (x150 - x75)), 0..6.
int BandAt(const TRect& plot, int x);
// Band gain for row y: (T + 40 - y) / 2, -20..+20 dB, not rounded (half-dB steps).
float BandGainAt(const TRect& plot, int y);
// Applies a drag at (x, y) to `values` and returns the result.
TEqValues EqDrag(TEqDragMode mode, const TRect& plot, int x, int y, TEqValues values);

// "+%.1f dB" above 0, else "%.1f dB" (0 and -0 read "0.0 dB").
std::string BandGainLabel(float db);
// "%d Hz".
std::string HzLabel(int hz);

// Frequency grid: f = 10^e * m for e = 1..3, m = 1..9, within 30..6000 Hz; 30, 100, 300, 1000
// and 3000 Hz (m = 1 or 3) carry a label and a grid line.
struct TFreqGridLine {
    int Hz = 0;
    int Column = 0;
    bool Labelled = false;
};
std::vector<TFreqGridLine> EqFreqGrid();

// Level grid: y = T + 20k for k = 1..20; even k are labelled 20 - 10k dB; the first row at or
// below B ends the grid, its label still drawn but no line.
std::vector<TLevelGridLine> EqLevelGrid(const TRect& plot);

// Handles, 7 x 7: a cut-off on the plot's bottom strip, a band at its gain (not clamped, so a
// gain beyond the plot shows its handle beyond it).
TRect CutoffHandleRect(const TRect& plot, int hz);
TRect BandHandleRect(const TRect& plot, int band, float gainDb);
// Top-left of a label of the given size: a cut-off's right of its handle, vertically centred
// on it; a band's centred 5 pixels above its handle.
TPoint CutoffLabelPos(const TRect& plot, int hz, int textHeight);
TPoint BandLabelPos(const TRect& plot, int band, float gainDb, int textWidth, int textHeight);

} // namespace sonari
