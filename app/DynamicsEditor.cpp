#include "app/DynamicsEditor.h"

#include "app/EditorCanvas.h"

#include <QMouseEvent>
#include <QPainter>

#include <array>

namespace sonari {
namespace {

constexpr int kCaptionMargin = 2; // pixels between the last caption and the page's right edge

std::array<QPoint, 4> ToQPoints(const TCurvePoints& points) {
    std::array<QPoint, 4> result;
    for (size_t i = 0; i < points.size(); ++i)
        result[i] = {points[i].X, points[i].Y};
    return result;
}

} // namespace

TDynamicsEditor::TDynamicsEditor(TEditorContext context, QWidget* parent)
    : TEditorPaintBox("PaintBox2", std::move(context), parent) {}

TRect TDynamicsEditor::DynPlotRect() const { return sonari::DynPlotRect(height()); }

TDynValues TDynamicsEditor::Values() const {
    const TMicEqualizer& eq = context_.Equalizer;
    return {eq.ClipThreshold(), eq.GateThreshold(), eq.Compression()};
}

void TDynamicsEditor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBox2Paint(painter);
}

// The layers, back to front. Histograms need a run that measures the input; the curve is
// drawn only with the output histogram beside it, while the clipper works on a playing signal.
void TDynamicsEditor::PaintBox2Paint(QPainter& painter) {
    TEditorCanvas canvas(painter);
    const TPage page{context_.Mode(), DynPlotRect(), DynHistRect(width(), height())};

    canvas.Fill({0, 0, width(), height()}, WindowColour());
    PaintAreas(canvas, page);
    PaintInputAxis(canvas, page);
    PaintOutputGrid(canvas, page);
    if (!DynShowsInput(page.Mode) || context_.Analysis.Histograms().InHistogram().empty())
        return;
    PaintInputHistogram(canvas, page);
    PaintEnvelope(canvas, page);
    if (!ShowsOutput(page))
        return;
    PaintOutputHistogram(canvas, page);
    curvePoints_ = CurvePoints(page.Plot, Values());
    PaintCurve(canvas, page);
    PaintHandles(canvas);
}

bool TDynamicsEditor::ShowsOutput(const TPage& page) const {
    return DynShowsOutput(page.Mode, context_.Equalizer.ClipperEnabled()) &&
           !context_.Analysis.Histograms().OutHistogram().empty();
}

void TDynamicsEditor::PaintAreas(TEditorCanvas& canvas, const TPage& page) const {
    for (const TRect& area : {DynFrameRect(height()), page.Hist}) {
        canvas.Fill(area, kPlotLight);
        canvas.Frame(area, kTeal);
    }
    const int captionY = page.Plot.Bottom + 9;
    canvas.Text(page.Plot.Right - 20, captionY, QStringLiteral("Input"), kTeal);
    // Its "dBFS" under the level labels, ending inside the page whatever the font's width.
    const QString output = QStringLiteral("Output    dBFS");
    canvas.Text(width() - kCaptionMargin - canvas.TextSize(output).width(), captionY, output,
                kTeal);
}

void TDynamicsEditor::PaintInputAxis(TEditorCanvas& canvas, const TPage& page) const {
    const int b = page.Plot.Bottom;
    for (const TDynAxisTick& tick : DynInputAxis(page.Plot)) {
        const int x = tick.X;
        canvas.Fill({x, b, x + 1, b + 5}, kTeal);
        if (tick.Label.empty())
            continue;
        canvas.Fill({x, b, x + 1, b + 16}, kTeal);
        canvas.Fill({x - 1, b + 15, x + 2, b + 18}, kTeal);
        canvas.Text(x + 4, b + 9, tick.Label, kTeal);
    }
}

// The same output levels across the curve and the output histogram, labelled at the right.
void TDynamicsEditor::PaintOutputGrid(TEditorCanvas& canvas, const TPage& page) const {
    const TRect& plot = page.Plot;
    const TRect& hist = page.Hist;
    for (const TLevelGridLine& row : DynOutputGrid(plot)) {
        canvas.DottedLine({plot.Left, row.Y}, {plot.Right, row.Y}, kTeal);
        canvas.DottedLine({hist.Left + 2, row.Y}, {hist.Right, row.Y}, kTeal);
        if (!row.Label.empty())
            canvas.Text(hist.Right + 4, row.Y - 7, row.Label, kTeal);
    }
}

void TDynamicsEditor::PaintInputHistogram(TEditorCanvas& canvas, const TPage& page) const {
    const TIntegerArray& bins = context_.Analysis.Histograms().InHistogram();
    for (size_t i = 0; i < bins.size(); ++i)
        canvas.Fill(InHistogramBar(page.Plot, static_cast<int>(i), bins[i]), kGreen);
}

void TDynamicsEditor::PaintEnvelope(TEditorCanvas& canvas, const TPage& page) const {
    canvas.Circle(EnvelopeMarkerRect(page.Plot, context_.Analysis.Envelope()), kTeal, kRed);
}

void TDynamicsEditor::PaintOutputHistogram(TEditorCanvas& canvas, const TPage& page) const {
    const TIntegerArray& bins = context_.Analysis.Histograms().OutHistogram();
    for (size_t i = 0; i < bins.size() && OutHistogramRowFits(page.Hist, int(i)); ++i)
        canvas.Fill(OutHistogramBar(page.Hist, static_cast<int>(i), bins[i]), kBlue);
}

// A 1:1 diagonal for reference, drop lines from the clip and gate points to the input axis,
// then the curve itself.
void TDynamicsEditor::PaintCurve(TEditorCanvas& canvas, const TPage& page) const {
    const TRect& plot = page.Plot;
    canvas.DottedLine({plot.Right - 1, plot.Top + 1}, {plot.Left, plot.Bottom - 1}, kTeal);
    for (const TPoint& p : {curvePoints_[1], curvePoints_[2]})
        canvas.DottedLine(p, {p.X, plot.Bottom}, kTeal);
    canvas.Polyline(ToQPoints(curvePoints_), kTeal, 3);
}

// The clip label floats over the plot; the gate and ratio labels sit on yellow tags.
void TDynamicsEditor::PaintHandles(TEditorCanvas& canvas) const {
    const TCurvePoints& p = curvePoints_;
    const TMicEqualizer& eq = context_.Equalizer;

    canvas.Circle(CurveHandleRect(p[1]), kBlue, kLime);
    const QString clip = QString::fromStdString(ClipLabel(AmplitudeToDb(eq.ClipThreshold())));
    const QSize clipSize = canvas.TextSize(clip);
    const TPoint clipAt = ClipLabelPos(p, clipSize.width(), clipSize.height());
    canvas.Text(clipAt.X, clipAt.Y, clip, kRed);

    canvas.Circle(CurveHandleRect(p[2]), kBlue, kYellow);
    const TPoint gateAt = GateLabelPos(p);
    canvas.Text(gateAt.X, gateAt.Y, GateLabel(AmplitudeToDb(eq.GateThreshold())), kRed, kYellow);

    const QString ratio = QString::fromStdString(ComprLabel(eq.Compression()));
    const QSize ratioSize = canvas.TextSize(ratio);
    const TPoint ratioAt = ComprLabelPos(p, ratioSize.width(), ratioSize.height());
    canvas.Text(ratioAt.X, ratioAt.Y, ratio, kRed, kYellow);
}

void TDynamicsEditor::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    PaintBoxMouseDown(event->modifiers(), p.x(), p.y());
}

void TDynamicsEditor::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    PaintBox2MouseMove(event->buttons(), event->modifiers(), p.x(), p.y());
}

void TDynamicsEditor::PaintBoxMouseDown(Qt::KeyboardModifiers modifiers, int x, int y) {
    if (!IsEditMode(context_.Mode())) {
        dragMode_ = cdNone;
        return;
    }
    dragMode_ = CurveDragModeAt(DynPlotRect(), curvePoints_, x, y);
    if (dragMode_ != cdNone)
        DynDrag(modifiers, x, y);
}

// The drag mode is never cleared on release: a move without the left button does nothing.
void TDynamicsEditor::PaintBox2MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                                         int x, int y) {
    if (buttons & Qt::LeftButton)
        DynDrag(modifiers, x, y);
}

void TDynamicsEditor::DynDrag(Qt::KeyboardModifiers modifiers, int x, int y) {
    if (!IsEditMode(context_.Mode()) || !context_.Equalizer.ClipperEnabled())
        return;
    const bool keepRatio = modifiers & Qt::ControlModifier;
    const TDynValues values = sonari::DynDrag(dragMode_, DynPlotRect(), x, y, keepRatio, Values());
    context_.EditEqualizer([&](TMicEqualizer& edited) {
        edited.SetClipThreshold(values.ClipThreshold);
        edited.SetGateThreshold(values.GateThreshold);
        edited.SetCompression(values.Compression);
    });
    Edited();
}

} // namespace sonari
