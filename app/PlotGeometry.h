#pragma once

// What the geometry of both editors shares: rectangles and points in the paint code's
// convention, rounding to pixels, the plot frame inside a paint box and the one-decimal label
// numbers. Plain values in, plain values out.

#include <string>

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

// Round half to even, saturated to +-1e6 pixels so that infinite or absurd levels stay drawable
// and sums of pixels cannot overflow; NaN gives 0.
int PixelRound(long double v);

// The rectangle filled and framed: the paint box shrunk by 10 pixels, `plotWidth` wide, with 15
// pixels free below it for the axis labels.
TRect PlotFrame(int paintHeight, int plotWidth);
// Curves and hit-testing stop one row above the frame's bottom line.
TRect CurveArea(TRect frame);

// A row of a level grid: its label ("" for none) and whether a dotted line is drawn.
struct TLevelGridLine {
    int Y = 0;
    std::string Label;
    bool Line = false;
};

// "%.1f" with a '.' whatever the locale.
std::string Fixed1(double v);

} // namespace sonari
