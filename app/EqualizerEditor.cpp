#include "app/EqualizerEditor.h"

#include "app/EditorCanvas.h"

#include <QMouseEvent>
#include <QPainter>

namespace sonari {

TEqualizerEditor::TEqualizerEditor(TEditorContext context, QWidget* parent)
    : TEditorPaintBox("PaintBox1", std::move(context), parent) {
    points_.reserve(TLogFreqSpectrum::kPoints);
}

TRect TEqualizerEditor::EqPlotRect() const { return sonari::EqPlotRect(height()); }

void TEqualizerEditor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBox1Paint(painter);
}

// The layers, back to front.
void TEqualizerEditor::PaintBox1Paint(QPainter& painter) {
    TEditorCanvas canvas(painter);
    TPage page;
    page.Mode = context_.Mode();
    page.EqualizerShown = EqShowsEqualizer(page.Mode, context_.Equalizer.EqualizerEnabled());
    page.Plot = EqPlotRect();

    canvas.Fill({0, 0, width(), height()}, WindowColour());
    PaintPlotArea(canvas, page);
    PaintResponse(canvas, page);
    PaintInputBars(canvas, page);
    PaintInputLine(canvas, page);
    PaintOutputLine(canvas, page);
    PaintFrequencyGrid(canvas, page);
    PaintLevelGrid(canvas, page);
    PaintHandles(canvas, page);
}

// A darker plot tells the user the equalizer can be edited.
void TEqualizerEditor::PaintPlotArea(TEditorCanvas& canvas, const TPage& page) const {
    const TRect frame = EqFrameRect(height());
    canvas.Fill(frame, page.EqualizerShown ? kPlotDark : kPlotLight);
    canvas.Frame(frame, kTeal);
}

// The area under the response is lit, the rest of the plot stays dark.
void TEqualizerEditor::PaintResponse(TEditorCanvas& canvas, const TPage& page) {
    if (!page.EqualizerShown)
        return;
    const auto& curve = CurveOf(context_.Equalizer.Response(), page.Plot);
    for (const QPoint& p : curve)
        canvas.Fill({p.x(), p.y(), p.x() + 1, page.Plot.Bottom}, kPlotLight);
    canvas.Polyline(curve, kTeal);
}

// The long-term input spectrum as it leaves the equalizer, while a recording plays.
void TEqualizerEditor::PaintInputBars(TEditorCanvas& canvas, const TPage& page) const {
    const TLogFreqSpectrum& in = context_.Analysis.InSpectrum();
    if (!EqShowsInputBars(page.Mode) || in.SpectrumDb().empty())
        return;
    const TSingleArray& response = context_.Equalizer.Response();
    const bool equalized = context_.Equalizer.EqualizerEnabled();
    const TRect& plot = page.Plot;
    for (size_t i = 0; i < in.AverageDb().size(); ++i) {
        float db = in.AverageDb()[i];
        if (equalized && i < response.size())
            db += response[i];
        const int x = plot.Left + static_cast<int>(i);
        canvas.Fill({x, ClampedDbToY(plot, db), x + 1, plot.Bottom}, kInputBars);
    }
}

// The live microphone spectrum while the gain is set or a voice is recorded.
void TEqualizerEditor::PaintInputLine(TEditorCanvas& canvas, const TPage& page) {
    const TLogFreqSpectrum& in = context_.Analysis.InSpectrum();
    if (!EqShowsInputLine(page.Mode) || in.SpectrumDb().empty())
        return;
    canvas.Polyline(CurveOf(in.SpectrumDb(), page.Plot), kGreen);
}

// Red while the clipper shapes the output.
void TEqualizerEditor::PaintOutputLine(TEditorCanvas& canvas, const TPage& page) {
    const TLogFreqSpectrum& out = context_.Analysis.OutSpectrum();
    if (!IsOutputMode(page.Mode) || out.SpectrumDb().empty())
        return;
    canvas.Polyline(CurveOf(out.SpectrumDb(), page.Plot),
                    context_.Equalizer.ClipperEnabled() ? kRed : kGreen);
}

void TEqualizerEditor::PaintFrequencyGrid(TEditorCanvas& canvas, const TPage& page) const {
    const TRect& plot = page.Plot;
    const int b = plot.Bottom;
    for (const TFreqGridLine& line : EqFreqGrid()) {
        const int x = plot.Left + line.Column;
        canvas.Fill({x, b, x + 1, b + 8}, kTeal);
        if (!line.Labelled)
            continue;
        canvas.Fill({x, b, x + 1, b + 16}, kTeal);
        canvas.Fill({x - 1, b + 15, x + 2, b + 18}, kTeal);
        canvas.Text(x + 4, b + 9, HzLabel(line.Hz), kTeal);
        canvas.DottedLine({x, plot.Top}, {x, b}, kTeal);
    }
}

void TEqualizerEditor::PaintLevelGrid(TEditorCanvas& canvas, const TPage& page) const {
    const TRect& plot = page.Plot;
    canvas.Text(plot.Right + 4, plot.Top, QStringLiteral("dBFS"), kTeal);
    for (const TLevelGridLine& line : EqLevelGrid(plot)) {
        if (!line.Label.empty())
            canvas.Text(plot.Right + 4, line.Y - 7, line.Label, kTeal);
        if (line.Line)
            canvas.DottedLine({plot.Left, line.Y}, {plot.Right, line.Y}, kTeal);
    }
}

// Cut-off labels float over the plot; band labels sit on an aqua tag above their handle.
void TEqualizerEditor::PaintHandles(TEditorCanvas& canvas, const TPage& page) const {
    if (!page.EqualizerShown)
        return;
    const TMicEqualizer& eq = context_.Equalizer;
    const TRect& plot = page.Plot;
    for (const int hz : {eq.CutoffLo(), eq.CutoffHi()}) {
        canvas.Circle(CutoffHandleRect(plot, hz), kBlue, kYellow);
        const QString label = QString::fromStdString(HzLabel(hz));
        const TPoint at = CutoffLabelPos(plot, hz, canvas.TextSize(label).height());
        canvas.Text(at.X, at.Y, label, kRed);
    }
    for (int i = 0; i < kEqBandCount; ++i) {
        canvas.Circle(BandHandleRect(plot, i, eq.Bands()[i]), kBlue, kAqua);
        const QString label = QString::fromStdString(BandGainLabel(eq.Bands()[i]));
        const QSize size = canvas.TextSize(label);
        const TPoint at = BandLabelPos(plot, i, eq.Bands()[i], size.width(), size.height());
        canvas.Text(at.X, at.Y, label, kRed, kAqua);
    }
}

const std::vector<QPoint>& TEqualizerEditor::CurveOf(const TSingleArray& db, const TRect& plot) {
    points_.clear();
    for (size_t i = 0; i < db.size(); ++i)
        points_.emplace_back(plot.Left + static_cast<int>(i), ClampedDbToY(plot, db[i]));
    return points_;
}

void TEqualizerEditor::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    PaintBoxMouseDown(p.x(), p.y());
}

void TEqualizerEditor::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    PaintBox1MouseMove(event->buttons(), p.x(), p.y());
}

void TEqualizerEditor::PaintBoxMouseDown(int x, int y) {
    if (!IsEditMode(context_.Mode())) {
        dragMode_ = edNone;
        return;
    }
    dragMode_ = EqDragModeAt(EqPlotRect(), x, y);
    EqDrag(x, y);
}

// The drag mode is never cleared on release: a move without the left button does nothing.
void TEqualizerEditor::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) {
    if (buttons & Qt::LeftButton)
        EqDrag(x, y);
}

void TEqualizerEditor::EqDrag(int x, int y) {
    const TMicEqualizer& eq = context_.Equalizer;
    if (dragMode_ == edNone || !IsEditMode(context_.Mode()) || !eq.EqualizerEnabled())
        return;
    const TEqValues before{eq.CutoffLo(), eq.CutoffHi(), eq.Bands()};
    const TEqValues after = sonari::EqDrag(dragMode_, EqPlotRect(), x, y, before);
    // The setters rebuild kernels; a step that changes nothing skips that.
    if (after.CutoffLo != before.CutoffLo || after.CutoffHi != before.CutoffHi ||
        after.Bands != before.Bands)
        context_.EditEqualizer([&](TMicEqualizer& edited) {
            if (after.CutoffLo != before.CutoffLo)
                edited.SetCutoffLo(after.CutoffLo);
            if (after.CutoffHi != before.CutoffHi)
                edited.SetCutoffHi(after.CutoffHi);
            if (after.Bands != before.Bands)
                edited.SetBands(after.Bands);
        });
    Edited();
}

} // namespace sonari
