#pragma once

#include "app/EditorPaintBox.h"
#include "app/EqualizerGeometry.h"

#include <QPoint>

#include <vector>

class QPainter;

namespace sonari {

class TEditorCanvas;

// The equalizer page: the response of band-pass and equalizer, the spectra before and after
// processing on a log-frequency axis from 30 Hz to 6 kHz, and handles for the two cut-offs and
// the seven band gains, dragged with the mouse in modes 4 and 6 while the equalizer is on.
// Main thread only.
class TEqualizerEditor : public TEditorPaintBox {
public:
    explicit TEqualizerEditor(TEditorContext context, QWidget* parent = nullptr);

    // Paints the whole page at the widget's size.
    void PaintBox1Paint(QPainter& painter);
    // A press at (x, y): picks what to drag (nothing outside modes 4 and 6 or off the plot)
    // and applies it at once, so a click without movement sets the value.
    void PaintBoxMouseDown(int x, int y);
    // A move: continues the drag while the left button is held.
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y);
    // Applies the current drag at (x, y) in modes 4 and 6 with the equalizer on: sets the
    // value, rebuilds the equalizer, marks the profile modified and repaints.
    void EqDrag(int x, int y);

    TEqDragMode DragMode() const { return dragMode_; }
    // The plot at the current size: the rectangle curves and clicks use.
    TRect EqPlotRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // What one paint reads once.
    struct TPage {
        TDspMode Mode = dmStop;
        bool EqualizerShown = false; // a playing mode with the equalizer on: response, handles
        TRect Plot;
    };

    void PaintPlotArea(TEditorCanvas& canvas, const TPage& page) const;
    void PaintResponse(TEditorCanvas& canvas, const TPage& page);
    void PaintInputBars(TEditorCanvas& canvas, const TPage& page) const;
    void PaintInputLine(TEditorCanvas& canvas, const TPage& page);
    void PaintOutputLine(TEditorCanvas& canvas, const TPage& page);
    void PaintFrequencyGrid(TEditorCanvas& canvas, const TPage& page) const;
    void PaintLevelGrid(TEditorCanvas& canvas, const TPage& page) const;
    void PaintHandles(TEditorCanvas& canvas, const TPage& page) const;
    // Clamped points of a 512-point dB curve, one column each, in points_.
    const std::vector<QPoint>& CurveOf(const TSingleArray& db, const TRect& plot);

    TEqDragMode dragMode_ = edNone;
    std::vector<QPoint> points_; // kept between paints, so painting does not allocate
};

} // namespace sonari
