#pragma once

// Geometry of the equalizer and dynamics editors: the plot rectangles, the axis mappings, the
// handle positions, what a click picks and what a drag sets, and the label texts. Painting and
// hit-testing both use these, so they can never disagree. Plain values in, plain values out.
// "Round" is round half to even throughout.

#include "SND/Levels.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sonari {

// Left/top inclusive, right/bottom exclusive, like the paint code's rectangles.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    bool operator==(const TRect&) const = default;
};

struct TPoint {
    int X = 0, Y = 0;
    bool operator==(const TPoint&) const = default;
};

// Round half to even, saturated to +-1e6 so that infinite or absurd levels stay drawable;
// NaN gives 0.
int RoundHalfEven(long double v);

// ---- Equalizer editor -------------------------------------------------------------------

inline constexpr int kEqBandCount = 7;
inline constexpr int kEqColumns = 512; // 30 Hz at column 0, 6000 Hz at column 512

// Rectangle filled and framed: the paint box shrunk by 10, 513 wide, 15 free below.
TRect EqFrameRect(int paintWidth, int paintHeight);
// The plot (L, T, R, B) used for curves and hit-testing: the frame one pixel shorter.
TRect EqPlotRect(int paintWidth, int paintHeight);

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
struct TLevelGridLine {
    int Y = 0;
    std::string Label; // empty for odd k
    bool Line = false;
};
std::vector<TLevelGridLine> EqLevelGrid(const TRect& plot);

// Handles, 7 x 7: a cut-off on the plot's bottom strip, a band at its gain (not clamped, so a
// gain beyond the plot shows its handle beyond it).
TRect CutoffHandleRect(const TRect& plot, int hz);
TRect BandHandleRect(const TRect& plot, int band, float gainDb);
// Top-left of a label of the given size: a cut-off's right of its handle, vertically centred
// on it; a band's centred 5 pixels above its handle.
TPoint CutoffLabelPos(const TRect& plot, int hz, int textHeight);
TPoint BandLabelPos(const TRect& plot, int band, float gainDb, int textWidth, int textHeight);

// ---- Dynamics editor --------------------------------------------------------------------

// Transfer-curve area: the paint box shrunk by 10, right edge x0 + 1 with x0 = L + 320, 15
// free below; DynFrameRect is filled and framed, DynPlotRect (one pixel shorter) is used for
// curves and hit-testing.
TRect DynFrameRect(int paintWidth, int paintHeight);
TRect DynPlotRect(int paintWidth, int paintHeight);
// Output-histogram area: the frame moved right by its width + 10, right edge at width - 30.
TRect DynHistRect(int paintWidth, int paintHeight);
// The 0 dBFS input column: L + 320 = R - 1.
int DynX0(const TRect& plot);

// Level of an amplitude on the 2^31 scale: 20 * log10(v / 2147483647) dB.
float AmplitudeToDb(float amplitude);
// Amplitude of a level: 10^(dB / 20) * 2147483647.
float DbToAmplitude(long double db);

// Gate, compressor and clipper settings (amplitudes on the 2^31 scale, ratio).
struct TDynValues {
    float ClipThreshold = 0;
    float GateThreshold = 0;
    float Compression = 1;
    bool operator==(const TDynValues&) const = default;
};

// P0 (0 dBFS in, -6 dBFS out), P1 clip point, P2 gate point, P3 end of the gate slope (3 dB
// out per dB in) at the bottom, pulled in to L + 1 when it would leave the plot.
using TCurvePoints = std::array<TPoint, 4>;
TCurvePoints CurvePoints(const TRect& plot, const TDynValues& values);

enum TCurveDragMode : int { cdNone = 0, cdGate = 1, cdClip = 2 };

// What a press at (x, y) drags: outside the plot nothing; at or right of the middle between
// P1 and P2 the clip point, else the gate point (all-zero points therefore pick the clip).
TCurveDragMode CurveDragModeAt(const TRect& plot, const TCurvePoints& points, int x, int y);

// Applies a drag at (x, y): input dB = (x - R) / 4, output dB = (T - y) / 3. The gate moves
// within -75..-7 dB and pushes the clip up to gate / 0.9; unless `keepRatio`, the ratio becomes
// the one that runs from -6 dBFS at the clip point to the pointer's output level at the gate,
// 1..15. The clip moves within -74..-6 dB and pushes the gate down to 0.9 * clip.
TDynValues DynDrag(TCurveDragMode mode, const TRect& plot, int x, int y, bool keepRatio,
                   TDynValues values);

// Envelope marker column: x0 + Round(4 * level), limited to L..R (lower limit first).
int EnvelopeX(const TRect& plot, float envelope);
// The marker, 7 x 7 on the plot's bottom strip at EnvelopeX.
TRect EnvelopeMarkerRect(const TRect& plot, float envelope);
// Clip or gate handle, 9 x 9 around a curve point.
TRect CurveHandleRect(const TPoint& point);

// Input axis below the plot: 0 dBFS at x0, a tick every 10 dB down to -80 dBFS; -20, -40,
// -60 and -80 dBFS carry a long tick and the label "%d dBFS".
struct TDynAxisTick {
    int X = 0;
    std::string Label; // empty for a short tick
};
std::vector<TDynAxisTick> DynInputAxis(const TRect& plot);
// Output grid rows: every 10 dB from 0 dBFS at T down to B; every second one labelled "%d".
std::vector<TLevelGridLine> DynOutputGrid(const TRect& plot);

// Histogram bars. Entry i belongs to -i dBFS and is drawn as a bar of that many pixels: the
// input bar 2 pixels wide at x0 - 4i, rising from the plot's bottom and cut at its top; the
// output bar 2 pixels high at row top + 3i of the histogram area, growing right and cut at its
// right edge. Empty (Left >= Right or Top >= Bottom) for an entry of 0 or less.
TRect InHistogramBar(const TRect& plot, int bin, int32_t entry);
// Bins beyond the area's bottom are not drawn: the loop stops at the first row below it.
bool OutHistogramRowFits(const TRect& hist, int bin);
TRect OutHistogramBar(const TRect& hist, int bin, int32_t entry);

// "CLIP  %.1f dBFS", "GATE  %.1f dBFS", "COMPR  %.1f:1" with a trailing ".0:1" shortened.
std::string ClipLabel(float clipDb);
std::string GateLabel(float gateDb);
std::string ComprLabel(float ratio);
// Top-left of the ratio label of the given size, between P1 and P2, or left of P2 at P1's
// height when it would rise above P1.
TPoint ComprLabelPos(const TCurvePoints& points, int textWidth, int textHeight);
// Top-left of the clip label (left of and just above P1) and of the gate label (right of and
// below P2).
TPoint ClipLabelPos(const TCurvePoints& points, int textWidth, int textHeight);
TPoint GateLabelPos(const TCurvePoints& points);

} // namespace sonari
