#pragma once

#include <QColor>
#include <QWidget>

namespace sonari {

// A filled rectangle with an optional one-pixel outline: the bars, marks and lights of the
// meters. Children are clipped to it, so a bar longer than its frame simply ends there.
class TShape : public QWidget {
public:
    TShape(const char* name, QColor brush, QWidget* parent);

    QColor Brush() const { return brush_; }
    void SetBrush(QColor brush);
    // Outline colour; invalid (the default) draws none.
    void SetPen(QColor pen);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_;
    QColor pen_;
};

} // namespace sonari
