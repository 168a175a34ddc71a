#pragma once

#include "app/PlotGeometry.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <QWidget>

#include <optional>
#include <span>
#include <string>

namespace sonari {

// Colours of the two editors.
inline constexpr QRgb kTeal = qRgb(0, 128, 128);
inline constexpr QRgb kPlotLight = qRgb(232, 255, 255); // idle plot; area under the response
inline constexpr QRgb kPlotDark = qRgb(200, 240, 240);  // plot while the equalizer is edited
inline constexpr QRgb kInputBars = qRgb(153, 238, 153);
inline constexpr QRgb kGreen = qRgb(0, 128, 0);
inline constexpr QRgb kRed = qRgb(255, 0, 0);
inline constexpr QRgb kBlue = qRgb(0, 0, 255);
inline constexpr QRgb kLime = qRgb(0, 255, 0);
inline constexpr QRgb kYellow = qRgb(255, 255, 0);
inline constexpr QRgb kAqua = qRgb(0, 255, 255);

// The labels sit at fixed pixel offsets from the plots, which leave room for text 13 pixels
// high: an 11-pixel font, whatever the desktop's default size.
void SetEditorFont(QWidget& editor);

// Drawing in the geometry's convention (rectangles exclude their right and bottom edges, lines
// stop one pixel short of their end) without antialiasing, so every element lands exactly on
// the pixels the geometry names.
class TEditorCanvas {
public:
    explicit TEditorCanvas(QPainter& painter);

    void Fill(const TRect& r, QRgb colour);
    // One-pixel outline along the rectangle's outermost pixels.
    void Frame(const TRect& r, QRgb colour);
    // Ellipse inside the rectangle, outlined in `pen`.
    void Circle(const TRect& bounds, QRgb pen, QRgb fill);
    void DottedLine(TPoint from, TPoint to, QRgb colour);
    void Polyline(std::span<const QPoint> points, QRgb colour, int width = 1);
    // Text with its top-left corner at (x, y), on `background` or transparent.
    void Text(int x, int y, const QString& text, QRgb colour,
              std::optional<QRgb> background = std::nullopt);
    void Text(int x, int y, const std::string& text, QRgb colour,
              std::optional<QRgb> background = std::nullopt);
    QSize TextSize(const QString& text) const;

private:
    QPainter& painter_;
    QFontMetrics metrics_;
};

} // namespace sonari
