#include "app/EqualizerGeometry.h"

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

constexpr long double kLn200 = 5.298317366548036677L; // ln 200
constexpr int kZeroDbRow = 40;                        // 0 dB lies 40 pixels below the top

} // namespace

TRect EqFrameRect(int paintHeight) { return PlotFrame(paintHeight, kEqColumns + 1); }

TRect EqPlotRect(int paintHeight) { return CurveArea(EqFrameRect(paintHeight)); }

bool EqShowsEqualizer(TDspMode mode, bool equalizerOn) { return IsOutputMode(mode) && equalizerOn; }

bool EqShowsInputBars(TDspMode mode) { return mode == dmPlay || mode == dmPlayToFile; }

bool EqShowsInputLine(TDspMode mode) { return mode == dmAdjustGain || mode == dmRecord; }

int FreqToX(double hz) { return PixelRound(kEqColumns * std::log(hz / 30.0L) / kLn200); }

float XToFreq(int column) {
    return static_cast<float>(30.0L * std::exp(kLn200 * column / kEqColumns));
}

int DbToY(const TRect& plot, double db) { return plot.Top + kZeroDbRow - PixelRound(2.0L * db); }

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
    const int hz = PixelRound(XToFreq(x - plot.Left));
    return std::clamp(PixelRound(hz / 5.0L) * 5, 50, 500);
}

int32_t CutoffHiAt(const TRect& plot, int x) {
    const int hz = PixelRound(XToFreq(x - plot.Left));
    return std::clamp(PixelRound(hz / 50.0L) * 50, 1500, 5700);
}

// The bands are equally spaced on the log axis, so the nearest band column wins.
int BandAt(const TRect& plot, int x) {
    const int x75 = BandX(plot, 0);
    const int x150 = BandX(plot, 1);
    return std::clamp(PixelRound(static_cast<long double>(x - x75) / (x150 - x75)), 0,
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

TRect CutoffHandleRect(const TRect& plot, int hz) {
    const int x = plot.Left + FreqToX(hz);
    return {x - 3, plot.Bottom - 13, x + 4, plot.Bottom - 6};
}

TRect BandHandleRect(const TRect& plot, int band, float gainDb) {
    const int x = BandX(plot, band);
    const int y = DbToY(plot, gainDb);
    return {x - 3, y - 3, x + 4, y + 4};
}

TPoint CutoffLabelPos(const TRect& plot, int hz, int textHeight) {
    return {plot.Left + FreqToX(hz) + 10, plot.Bottom - 10 - textHeight / 2};
}

TPoint BandLabelPos(const TRect& plot, int band, float gainDb, int textWidth, int textHeight) {
    return {BandX(plot, band) - textWidth / 2, DbToY(plot, gainDb) - textHeight - 5};
}

} // namespace sonari
