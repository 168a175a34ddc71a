#include "app/PlotGeometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sonari {
namespace {

constexpr int kInset = 10;     // paint box to plot, every side
constexpr int kFreeBelow = 15; // room for the axis labels

} // namespace

int PixelRound(long double v) {
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::nearbyint(std::clamp(v, -1e6L, 1e6L)));
}

TRect PlotFrame(int paintHeight, int plotWidth) {
    return {kInset, kInset, kInset + plotWidth, paintHeight - kInset - kFreeBelow};
}

TRect CurveArea(TRect frame) {
    frame.Bottom -= 1;
    return frame;
}

std::string Fixed1(double v) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 1);
    return std::string(buffer, result.ptr);
}

} // namespace sonari
