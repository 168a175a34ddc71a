#pragma once

// Geometry of the dynamics editor: the transfer-curve and output-histogram areas, the level
// axes, the curve points, what a click picks and what a drag sets, the histogram bars, the
// label texts, and which layers a mode shows. Painting and hit-testing both use these, so they
// can never disagree. "Round" is round half to even throughout.

#include "app/PlotGeometry.h"
#include "engine/DspMode.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sonari {

// Transfer-curve area: the paint box shrunk by 10, right edge x0 + 1 with x0 = L + 320, 15
// free below; DynFrameRect is filled and framed, DynPlotRect (one pixel shorter) is used for
// curves and hit-testing.
TRect DynFrameRect(int paintHeight);
TRect DynPlotRect(int paintHeight);
// Output-histogram area: the frame moved right by its width + 10, right edge at width - 30.
TRect DynHistRect(int paintWidth, int paintHeight);
// The 0 dBFS input column: L + 320 = R - 1.
int DynX0(const TRect& plot);

// What a mode shows: the input histogram and the envelope while a run measures the input; the
// output histogram and the curve with its handles while the processor's output exists and the
// clipper is on.
bool DynShowsInput(TDspMode mode);
bool DynShowsOutput(TDspMode mode, bool clipperOn);

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
