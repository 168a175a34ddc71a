#pragma once

#include "app/DynamicsGeometry.h"
#include "app/EditorPaintBox.h"

class QPainter;

namespace sonari {

class TEditorCanvas;

// The gate/compressor/clipper page: the static transfer curve over the input level, the
// envelope histograms before (below the curve) and after the gain stage (at the right), the
// current envelope, and handles for the clip and gate points, dragged with the mouse in modes
// 4 and 6 while the clipper is on. Main thread only.
class TDynamicsEditor : public TEditorPaintBox {
public:
    explicit TDynamicsEditor(TEditorContext context, QWidget* parent = nullptr);

    // Paints the whole page at the widget's size; stores the curve points when it draws them.
    void PaintBox2Paint(QPainter& painter);
    // A press at (x, y): in modes 4 and 6 inside the plot picks the clip point (at or right of
    // the middle between the stored clip and gate points) or the gate point and applies the
    // drag at once; anywhere else nothing is dragged.
    void PaintBoxMouseDown(Qt::KeyboardModifiers modifiers, int x, int y);
    // A move: continues the drag while the left button is held.
    void PaintBox2MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x,
                            int y);
    // In modes 4 and 6 with the clipper on: moves the dragged point to (x, y) (the gate's height
    // sets the ratio unless Ctrl is held), marks the profile modified and repaints, even when
    // nothing is dragged.
    void DynDrag(Qt::KeyboardModifiers modifiers, int x, int y);

    TCurveDragMode DragMode() const { return dragMode_; }
    // The points of the last paint that drew the curve; all zero before the first.
    const TCurvePoints& StoredCurvePoints() const { return curvePoints_; }
    // The transfer-curve area at the current size: the rectangle curves and clicks use.
    TRect DynPlotRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // What one paint reads once.
    struct TPage {
        TDspMode Mode = dmStop;
        TRect Plot;
        TRect Hist;
    };

    void PaintAreas(TEditorCanvas& canvas, const TPage& page) const;
    void PaintInputAxis(TEditorCanvas& canvas, const TPage& page) const;
    void PaintOutputGrid(TEditorCanvas& canvas, const TPage& page) const;
    void PaintInputHistogram(TEditorCanvas& canvas, const TPage& page) const;
    void PaintEnvelope(TEditorCanvas& canvas, const TPage& page) const;
    void PaintOutputHistogram(TEditorCanvas& canvas, const TPage& page) const;
    void PaintCurve(TEditorCanvas& canvas, const TPage& page) const;
    void PaintHandles(TEditorCanvas& canvas) const;
    bool ShowsOutput(const TPage& page) const;
    TDynValues Values() const;

    TCurveDragMode dragMode_ = cdNone;
    TCurvePoints curvePoints_{};
};

} // namespace sonari
