#pragma once

#include "controls/PermanentHintWindow.h"

#include <QString>
#include <QWidget>

#include <functional>

namespace sonari {

// A small dB slider: wedge-shaped track, push-button thumb dragged with the left button, an
// overload light in the top-left corner and a value hint that follows the cursor while it
// hovers or drags. Takes no focus. Main thread only.
class TVolumeSlider : public QWidget {
public:
    explicit TVolumeSlider(QWidget* parent = nullptr);

    // Position 0..1, clamped; non-finite values are ignored. Rewrites Hint, never raises
    // OnChange.
    float Value() const { return value_; }
    void SetValue(float value);
    // Empty pixels left and right of the track: 5 .. Width div 2 - 5 (the lower bound wins).
    int Margin() const { return margin_; }
    void SetMargin(int pixels);
    // dB at Value 1 and dB span of the whole track; both rewrite Hint; non-finite is ignored.
    float DbMax() const { return dbMax_; }
    void SetDbMax(float db);
    float DbScale() const { return dbScale_; }
    void SetDbScale(float db);
    // (Value - 1) * DbScale + DbMax; writing sets Value (clamped).
    float Db() const;
    void SetDb(float db);
    // Overload light; repaints at once, and only when the state changes.
    bool Overloaded() const { return overloaded_; }
    void SetOverloaded(bool overloaded);
    // Whether the value hint is shown at all.
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show) { showHint_ = show; }
    // Hint text; "%.1f dB" of Db after every Value/DbMax/DbScale change, owners may overwrite it.
    const QString& Hint() const { return hint_; }
    void SetHint(const QString& text) { hint_ = text; }

    // Raised after each drag step of the user, never by the setters.
    std::function<void()> OnChange;
    std::function<void()> OnDblClick;

    // Thumb and overload-light rectangles in widget coordinates.
    QRect ThumbRect() const;
    QRect OverloadRect() const;
    bool Dragging() const { return dragging_; }
    TPermanentHintWindow& HintWindow() { return hintWindow_; }
    // Paints done so far; lets owners and tests see whether a change repainted.
    int PaintCount() const { return paintCount_; }

    QSize sizeHint() const override { return {60, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateHint();
    void StartDrag(QMouseEvent* event);
    void EndDrag();
    int TrackLength() const;
    void PaintWedge(QPainter& painter) const;
    void PaintOverloadLight(QPainter& painter) const;
    void PaintThumb(QPainter& painter);

    float value_ = 0.75f;
    int margin_ = 5;
    float dbMax_ = 0.0f;
    float dbScale_ = 60.0f;
    bool overloaded_ = false;
    bool showHint_ = true;
    QString hint_;
    bool dragging_ = false;
    float dragStartValue_ = 0.0f;
    int dragStartX_ = 0;
    int paintCount_ = 0;
    TPermanentHintWindow hintWindow_;
};

} // namespace sonari
