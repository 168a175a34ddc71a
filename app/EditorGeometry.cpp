#include "app/EditorGeometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sonari {
namespace {

constexpr long double kLn200 = 5.298317366548036677L; // ln 200
constexpr int kInset = 10;                            // paint box to plot, every side
constexpr int kFreeBelow = 15;                        // room for the axis labels
constexpr int kZeroDbRow = 40;                        // 0 dB lies 40 pixels below the top
constexpr int kDynX0Offset = 320;                     // 0 dBFS input, 80 dB * 4 px right of L
constexpr int kCurveTop = 18;                         // -6 dBFS output, 6 dB * 3 px below T

std::string Fixed1(double v) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 1);
    return std::string(buffer, result.ptr);
}

// The paint box shrunk by the inset, `plotWidth` wide, with room for the axis labels below.
TRect Frame(int paintHeight, int plotWidth) {
    return {kInset, kInset, kInset + plotWidth, paintHeight - kInset - kFreeBelow};
}

// Curves and hit-testing stop one row above the frame's bottom line.
TRect InsideFrame(TRect frame) {
    frame.Bottom -= 1;
    return frame;
}

} // namespace

int RoundHalfEven(long double v) {
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::nearbyint(std::clamp(v, -1e6L, 1e6L)));
}

// ---- Equalizer editor -------------------------------------------------------------------

TRect EqFrameRect(int /*paintWidth*/, int paintHeight) {
    return Frame(paintHeight, kEqColumns + 1);
}

TRect EqPlotRect(int paintWidth, int paintHeight) {
    return InsideFrame(EqFrameRect(paintWidth, paintHeight));
}

int FreqToX(double hz) { return RoundHalfEven(kEqColumns * std::log(hz / 30.0L) / kLn200); }

float XToFreq(int column) {
    return static_cast<float>(30.0L * std::exp(kLn200 * column / kEqColumns));
}

int DbToY(const TRect& plot, double db) { return plot.Top + kZeroDbRow - RoundHalfEven(2.0L * db); }

int ClampedDbToY(const TRect& plot, double db) {
    if (std::isnan(db))
        return plot.Bottom;
    return std::max(std::min(DbToY(plot, db), plot.Bottom), plot.Top);
}

float YToDb(const TRect& plot, int y) { return float(plot.Top + kZeroDbRow - y) / 2.0f; }

int BandHz(int band) { return 75 << band; }

int BandX(const TRect& plot, int band) { return plot.Left + FreqToX(BandHz(band)); }

TEqDragMode EqDragModeAt(const TRect& plot, int x, int y) {
    if (!plot.Contains(x, y))
        return edNone;
    if (y >= (plot.Top + plot.Bottom) / 2)
        return XToFreq(x - plot.Left) < 1000.0f ? edCutoffLo : edCutoffHi;
    return edBand;
}

int32_t CutoffLoAt(const TRect& plot, int x) {
    const int hz = RoundHalfEven(XToFreq(x - plot.Left));
    return std::clamp(RoundHalfEven(hz / 5.0L) * 5, 50, 500);
}

int32_t CutoffHiAt(const TRect& plot, int x) {
    const int hz = RoundHalfEven(XToFreq(x - plot.Left));
    return std::clamp(RoundHalfEven(hz / 50.0L) * 50, 1500, 5700);
}

// The bands are equally spaced on the log axis, so the nearest band column wins.
int BandAt(const TRect& plot, int x) {
    const int x75 = BandX(plot, 0);
    const int x150 = BandX(plot, 1);
    return std::clamp(RoundHalfEven(static_cast<long double>(x - x75) / (x150 - x75)), 0,
                      kEqBandCount - 1);
}

float BandGainAt(const TRect& plot, int y) { return std::clamp(YToDb(plot, y), -20.0f, 20.0f); }

TEqValues EqDrag(TEqDragMode mode, const TRect& plot, int x, int y, TEqValues values) {
    switch (mode) {
    case edCutoffLo:
        values.CutoffLo = CutoffLoAt(plot, x);
        break;
    case edCutoffHi:
        values.CutoffHi = CutoffHiAt(plot, x);
        break;
    case edBand:
        values.Bands[BandAt(plot, x)] = BandGainAt(plot, y);
        break;
    case edNone:
        break;
    }
    return values;
}

std::string BandGainLabel(float db) {
    if (db == 0.0f)
        return "0.0 dB";
    return (db > 0.0f ? "+" : "") + Fixed1(db) + " dB";
}

std::string HzLabel(int hz) { return std::to_string(hz) + " Hz"; }

std::vector<TFreqGridLine> EqFreqGrid() {
    std::vector<TFreqGridLine> grid;
    for (int decade = 10; decade <= 1000; decade *= 10)
        for (int m = 1; m <= 9; ++m) {
            const int hz = decade * m;
            if (hz < 30 || hz > 6000)
                continue;
            grid.push_back({hz, FreqToX(hz), m == 1 || m == 3});
        }
    return grid;
}

// The label is placed before the end test, so the row at or below the bottom edge still
// gets its label.
std::vector<TLevelGridLine> EqLevelGrid(const TRect& plot) {
    std::vector<TLevelGridLine> grid;
    for (int k = 1; k <= 20; ++k) {
        TLevelGridLine line{plot.Top + 20 * k, k % 2 == 0 ? std::to_string(20 - 10 * k) : "",
                            false};
        line.Line = line.Y < plot.Bottom;
        grid.push_back(line);
        if (!line.Line)
            break;
    }
    return grid;
}

// ---- Dynamics editor --------------------------------------------------------------------

TRect DynFrameRect(int /*paintWidth*/, int paintHeight) {
    return Frame(paintHeight, kDynX0Offset + 1);
}

TRect DynPlotRect(int paintWidth, int paintHeight) {
    return InsideFrame(DynFrameRect(paintWidth, paintHeight));
}

TRect DynHistRect(int paintWidth, int paintHeight) {
    TRect r = DynFrameRect(paintWidth, paintHeight);
    const int shift = r.Right - r.Left + 10;
    r.Left += shift;
    r.Right = paintWidth - 30;
    return r;
}

int DynX0(const TRect& plot) { return plot.Left + kDynX0Offset; }

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
    p[1] = {x0 + RoundHalfEven(4.0L * clipDb), plot.Top + kCurveTop};
    // compressor: output falls 1/ratio dB per input dB below the clip point
    p[2].X = x0 + RoundHalfEven(4.0L * gateDb);
    p[2].Y = p[1].Y - RoundHalfEven((p[2].X - p[1].X) * 3 / 4.0L / values.Compression);
    // gate: output falls 3 dB per input dB below the gate point
    p[3].Y = plot.Bottom - 1;
    p[3].X = p[2].X - RoundHalfEven((p[3].Y - p[2].Y) / 3.0L * 4 / 3);
    if (p[3].X < plot.Left + 1) {
        p[3].X = plot.Left + 1;
        p[3].Y = p[2].Y - RoundHalfEven((p[3].X - p[2].X) * 9 / 4.0L);
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
    const int x = DynX0(plot) + RoundHalfEven(AmplitudeToDb(envelope) * 4.0L);
    return std::min(std::max(x, plot.Left), plot.Right);
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

} // namespace sonari
