#include "app/EditorCanvas.h"

#include <QPen>

namespace sonari {
namespace {

QRect ToQRect(const TRect& r) {
    return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1));
}

int Sign(int v) { return (v > 0) - (v < 0); }

} // namespace

void SetEditorFont(QWidget& editor) {
    QFont font = editor.font();
    font.setPixelSize(11);
    editor.setFont(font);
}

TEditorCanvas::TEditorCanvas(QPainter& painter) : painter_(painter), metrics_(painter.font()) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
}

void TEditorCanvas::Fill(const TRect& r, QRgb colour) {
    if (r.Left < r.Right && r.Top < r.Bottom)
        painter_.fillRect(ToQRect(r), QColor(colour));
}

void TEditorCanvas::Frame(const TRect& r, QRgb colour) {
    if (r.Left >= r.Right || r.Top >= r.Bottom)
        return;
    painter_.setPen(QPen(QColor(colour), 0));
    painter_.setBrush(Qt::NoBrush);
    // A cosmetic pen outlines a QRect one pixel outside its width and height.
    painter_.drawRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1);
}

void TEditorCanvas::Circle(const TRect& bounds, QRgb pen, QRgb fill) {
    painter_.setPen(QPen(QColor(pen), 0));
    painter_.setBrush(QColor(fill));
    painter_.drawEllipse(bounds.Left, bounds.Top, bounds.Right - bounds.Left - 1,
                         bounds.Bottom - bounds.Top - 1);
}

// Axis-parallel lines leave out their end pixel; a slanted one keeps it, which nobody sees.
void TEditorCanvas::DottedLine(TPoint from, TPoint to, QRgb colour) {
    const int dx = to.X - from.X, dy = to.Y - from.Y;
    if (dx == 0 && dy == 0)
        return;
    if (dx == 0 || dy == 0)
        to = {to.X - Sign(dx), to.Y - Sign(dy)};
    painter_.setPen(QPen(QColor(colour), 0, Qt::DotLine));
    painter_.drawLine(from.X, from.Y, to.X, to.Y);
}

void TEditorCanvas::Polyline(std::span<const QPoint> points, QRgb colour, int width) {
    if (points.empty())
        return;
    QPen pen(QColor(colour), width == 1 ? 0 : width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter_.setPen(pen);
    painter_.setBrush(Qt::NoBrush);
    painter_.drawPolyline(points.data(), static_cast<int>(points.size()));
}

void TEditorCanvas::Text(int x, int y, const QString& text, QRgb colour,
                         std::optional<QRgb> background) {
    const QRect box(QPoint(x, y), TextSize(text));
    if (background)
        painter_.fillRect(box, QColor(*background));
    painter_.setPen(QColor(colour));
    painter_.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

void TEditorCanvas::Text(int x, int y, const std::string& text, QRgb colour,
                         std::optional<QRgb> background) {
    Text(x, y, QString::fromStdString(text), colour, background);
}

QSize TEditorCanvas::TextSize(const QString& text) const {
    return {metrics_.horizontalAdvance(text), metrics_.height()};
}

} // namespace sonari
