#include "controls/VolumeSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

// A one-pixel sunken edge around `r` (shadow top-left, highlight bottom-right); returns the
// interior.
QRect DrawSunkenEdge(QPainter& painter, const QRect& r, const QPalette& palette) {
    painter.setPen(palette.color(QPalette::Dark));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(palette.color(QPalette::Light));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    return r.adjusted(1, 1, -1, -1);
}

} // namespace

TVolumeSlider::TVolumeSlider(QWidget* parent) : QWidget(parent), hintWindow_(this) {
    resize(sizeHint());
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true); // the hint follows a hovering cursor too
    setAttribute(Qt::WA_OpaquePaintEvent);
    UpdateHint();
}

void TVolumeSlider::SetValue(float value) {
    if (!std::isfinite(value))
        return;
    value_ = std::clamp(value, 0.0f, 1.0f);
    UpdateHint();
    update();
}

void TVolumeSlider::SetMargin(int pixels) {
    margin_ = std::max(std::min(pixels, width() / 2 - 5), 5);
    update();
}

void TVolumeSlider::SetDbMax(float db) {
    if (!std::isfinite(db))
        return;
    dbMax_ = db;
    UpdateHint();
}

void TVolumeSlider::SetDbScale(float db) {
    if (!std::isfinite(db))
        return;
    dbScale_ = db;
    UpdateHint();
}

float TVolumeSlider::Db() const { return (value_ - 1.0f) * dbScale_ + dbMax_; }

// Value = (dB - DbMax) / DbScale + 1; a zero scale leaves only the ends (or nothing) to pick.
void TVolumeSlider::SetDb(float db) { SetValue((db - dbMax_) / dbScale_ + 1.0f); }

void TVolumeSlider::SetOverloaded(bool overloaded) {
    if (overloaded == overloaded_)
        return;
    overloaded_ = overloaded;
    repaint();
}

void TVolumeSlider::UpdateHint() { hint_ = QString::asprintf("%.1f dB", double(Db())); }

// Pixels of travel for the whole 0..1 range; never zero, so a tiny slider cannot divide by it.
int TVolumeSlider::TrackLength() const { return std::max(1, width() - 2 * margin_); }

QRect TVolumeSlider::ThumbRect() const {
    const int x = margin_ + RoundHalfEven(double(width() - 2 * margin_) * value_);
    return QRect(x - 4, 3, 9, height() - 5);
}

QRect TVolumeSlider::OverloadRect() const { return QRect(margin_ + 1, 4, 7, 5); }

void TVolumeSlider::paintEvent(QPaintEvent*) {
    ++paintCount_;
    // Drawn off-screen and copied in one go, so the control never flickers.
    QPixmap buffer(size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    buffer.fill(palette().color(QPalette::Button));
    QPainter painter(&buffer);
    PaintWedge(painter);
    PaintOverloadLight(painter);
    PaintThumb(painter);
    painter.end();
    QPainter(this).drawPixmap(0, 0, buffer);
}

// White bottom and right edges, shadowed hypotenuse.
void TVolumeSlider::PaintWedge(QPainter& painter) const {
    const int w = width(), h = height(), m = margin_;
    painter.setPen(Qt::white);
    const QPoint edge[] = {{m, h - 6}, {w - m, h - 6}, {w - m, 6}};
    painter.drawPolyline(edge, 3);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(QPoint(w - m, 6), QPoint(m - 1, h - 7));
}

void TVolumeSlider::PaintOverloadLight(QPainter& painter) const {
    const QRect interior = DrawSunkenEdge(painter, OverloadRect(), palette());
    if (overloaded_)
        painter.fillRect(interior.adjusted(1, 1, -1, -1), Qt::red);
}

void TVolumeSlider::PaintThumb(QPainter& painter) {
    if (!isEnabled()) {
        DrawSunkenEdge(painter, ThumbRect(), palette());
        return;
    }
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = ThumbRect();
    option.state |= QStyle::State_Raised;
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
}

void TVolumeSlider::StartDrag(QMouseEvent* event) {
    // Only the thumb can be dragged: clicking the track does not move it.
    if (event->button() != Qt::LeftButton || !ThumbRect().contains(event->position().toPoint()))
        return;
    dragging_ = true;
    dragStartValue_ = value_;
    dragStartX_ = event->position().toPoint().x();
}

void TVolumeSlider::EndDrag() { dragging_ = false; }

void TVolumeSlider::mousePressEvent(QMouseEvent* event) {
    // Accepted even off the thumb, so the hint keeps following while the button is held.
    event->accept();
    StartDrag(event);
}

void TVolumeSlider::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    StartDrag(event);
    if (OnDblClick)
        OnDblClick();
}

void TVolumeSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        EndDrag();
    const QPoint pos = event->position().toPoint();
    if (dragging_) {
        // Value = start value + travel since the drag began, so overshooting an end is undone
        // only when the pointer comes back.
        SetValue(float(dragStartValue_ + double(pos.x() - dragStartX_) / TrackLength()));
        repaint();
        if (OnChange)
            OnChange();
    }
    // After the change, so the hint shows the text the owner may just have written.
    if (showHint_ && (dragging_ || rect().contains(pos)))
        hintWindow_.ShowAtCursor(hint_, event->globalPosition().toPoint());
    else
        hintWindow_.HideHint();
}

void TVolumeSlider::mouseReleaseEvent(QMouseEvent* event) {
    hintWindow_.HideHint();
    if (event->button() == Qt::LeftButton)
        EndDrag();
    QWidget::mouseReleaseEvent(event);
}

void TVolumeSlider::leaveEvent(QEvent* event) {
    if (!dragging_)
        hintWindow_.HideHint();
    QWidget::leaveEvent(event);
}

void TVolumeSlider::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        EndDrag();
        hintWindow_.HideHint();
    }
    QWidget::changeEvent(event);
}

} // namespace sonari
