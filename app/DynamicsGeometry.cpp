#include "app/DynamicsGeometry.h"

#include "SND/Levels.h"

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

constexpr int kDynX0Offset = 320; // 0 dBFS input, 80 dB * 4 px right of L
constexpr int kCurveTop = 18;     // -6 dBFS output, 6 dB * 3 px below T

} // namespace

TRect DynFrameRect(int paintHeight) { return PlotFrame(paintHeight, kDynX0Offset + 1); }

TRect DynPlotRect(int paintHeight) { return CurveArea(DynFrameRect(paintHeight)); }

TRect DynHistRect(int paintWidth, int paintHeight) {
    TRect r = DynFrameRect(paintHeight);
    const int shift = r.Right - r.Left + 10;
    r.Left += shift;
    r.Right = paintWidth - 30;
    return r;
}

int DynX0(const TRect& plot) { return plot.Left + kDynX0Offset; }

bool DynShowsInput(TDspMode mode) { return mode != dmStop && mode != dmSelectDevices; }

bool DynShowsOutput(TDspMode mode, bool clipperOn) { return IsOutputMode(mode) && clipperOn; }

float AmplitudeToDb(float amplitude) {
    return static_cast<float>(20.0L * std::log10(amplitude / static_cast<long double>(kFullScale)));
}

float DbToAmplitude(long double db) {
    return static_cast<float>(std::pow(10.0L, db / 20.0L) * kFullScale);
}

TCurvePoints CurvePoints(const TRect& plot, const TDynValues& values) {
    const int x0 = DynX0(plot);
    const float clipDb = AmplitudeToDb(values.ClipThreshold);
    const float gateDb = AmplitudeToDb(values.GateThreshold);
    TCurvePoints p;
    p[0] = {plot.Right - 1, plot.Top + kCurveTop};
    p[1] = {x0 + PixelRound(4.0L * clipDb), plot.Top + kCurveTop};
    // compressor: output falls 1/ratio dB per input dB below the clip point
    p[2].X = x0 + PixelRound(4.0L * gateDb);
    p[2].Y = p[1].Y - PixelRound((p[2].X - p[1].X) * 3 / 4.0L / values.Compression);
    // gate: output falls 3 dB per input dB below the gate point
    p[3].Y = plot.Bottom - 1;
    p[3].X = p[2].X - PixelRound((p[3].Y - p[2].Y) / 3.0L * 4 / 3);
    if (p[3].X < plot.Left + 1) {
        p[3].X = plot.Left + 1;
        p[3].Y = p[2].Y - PixelRound((p[3].X - p[2].X) * 9 / 4.0L);
    }
    return p;
}

TCurveDragMode CurveDragModeAt(const TRect& plot, const TCurvePoints& points, int x, int y) {
    if (!plot.Contains(x, y))
        return cdNone;
    return x >= (points[1].X + points[2].X) / 2 ? cdClip : cdGate;
}

TDynValues DynDrag(TCurveDragMode mode, const TRect& plot, int x, int y, bool keepRatio,
                   TDynValues values) {
    // Measured from the rectangle's right edge, one pixel right of x0.
    const long double inDb = (x - plot.Right) / 4.0L;
    const long double outDb = (plot.Top - y) / 3.0L;
    if (mode == cdGate) {
        const long double gateDb = std::max(std::min(inDb, -7.0L), -75.0L);
        values.GateThreshold = DbToAmplitude(gateDb);
        values.ClipThreshold =
            std::max(values.ClipThreshold, static_cast<float>(values.GateThreshold / 0.9L));
        if (!keepRatio) {
            // the ratio that takes the line from -6 dBFS at the clip to outDb at the gate
            const long double span =
                AmplitudeToDb(values.ClipThreshold) - AmplitudeToDb(values.GateThreshold);
            const long double ratio = span / (-6.0L - std::min(outDb, -7.0L));
            values.Compression = static_cast<float>(std::max(std::min(ratio, 15.0L), 1.0L));
        }
    } else if (mode == cdClip) {
        values.ClipThreshold = DbToAmplitude(std::clamp(inDb, -74.0L, -6.0L));
        values.GateThreshold =
            std::min(values.GateThreshold, static_cast<float>(0.9L * values.ClipThreshold));
    }
    return values;
}

int EnvelopeX(const TRect& plot, float envelope) {
    const int x = DynX0(plot) + PixelRound(AmplitudeToDb(envelope) * 4.0L);
    return std::min(std::max(x, plot.Left), plot.Right);
}

TRect EnvelopeMarkerRect(const TRect& plot, float envelope) {
    const int x = EnvelopeX(plot, envelope);
    return {x - 3, plot.Bottom - 10, x + 4, plot.Bottom - 3};
}

TRect CurveHandleRect(const TPoint& point) {
    return {point.X - 4, point.Y - 4, point.X + 5, point.Y + 5};
}

std::vector<TDynAxisTick> DynInputAxis(const TRect& plot) {
    std::vector<TDynAxisTick> ticks;
    for (int k = 0; k <= 8; ++k) {
        const bool labelled = k >= 2 && k % 2 == 0;
        ticks.push_back({DynX0(plot) - 40 * k, labelled ? std::to_string(-10 * k) + " dBFS" : ""});
    }
    return ticks;
}

std::vector<TLevelGridLine> DynOutputGrid(const TRect& plot) {
    std::vector<TLevelGridLine> grid;
    for (int k = 0; k <= 10; ++k) {
        const int y = plot.Top + 30 * k;
        if (y > plot.Bottom)
            break;
        grid.push_back({y, k % 2 == 0 ? std::to_string(-10 * k) : "", true});
    }
    return grid;
}

// Entries are counts of up to a block's length; the cuts keep any count, even a wrong one,
// inside the areas.
TRect InHistogramBar(const TRect& plot, int bin, int32_t entry) {
    const int x = DynX0(plot) - 4 * bin;
    const int64_t top = int64_t(plot.Bottom) - 1 - std::max<int32_t>(entry, 0);
    return {x, static_cast<int>(std::max<int64_t>(plot.Top, top)), x + 2, plot.Bottom - 1};
}

bool OutHistogramRowFits(const TRect& hist, int bin) { return hist.Top + 3 * bin <= hist.Bottom; }

TRect OutHistogramBar(const TRect& hist, int bin, int32_t entry) {
    const int y = hist.Top + 3 * bin;
    const int left = hist.Left + 2;
    const int64_t right = int64_t(left) + std::max<int32_t>(entry, 0);
    return {left, y - 1, static_cast<int>(std::min<int64_t>(hist.Right, right)), y + 1};
}

std::string ClipLabel(float clipDb) { return "CLIP  " + Fixed1(clipDb) + " dBFS"; }

std::string GateLabel(float gateDb) { return "GATE  " + Fixed1(gateDb) + " dBFS"; }

std::string ComprLabel(float ratio) {
    std::string text = "COMPR  " + Fixed1(ratio) + ":1";
    if (text.ends_with(".0:1"))
        text.erase(text.size() - 4, 2);
    return text;
}

TPoint ComprLabelPos(const TCurvePoints& points, int textWidth, int textHeight) {
    const TPoint& p1 = points[1];
    const TPoint& p2 = points[2];
    TPoint pos{(p1.X + p2.X) / 2 - textWidth - 5, (p1.Y + p2.Y) / 2 - textHeight / 2 - 5};
    if (pos.Y < p1.Y)
        pos = {p2.X - textWidth - 7, p1.Y};
    return pos;
}

TPoint ClipLabelPos(const TCurvePoints& points, int textWidth, int textHeight) {
    return {points[1].X - textWidth - 5, points[1].Y - textHeight - 1};
}

TPoint GateLabelPos(const TCurvePoints& points) { return {points[2].X + 5, points[2].Y + 5}; }

} // namespace sonari
