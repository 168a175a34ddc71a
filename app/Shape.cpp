#include "app/Shape.h"

#include <QPainter>

namespace sonari {

TShape::TShape(const char* name, QColor brush, QWidget* parent) : QWidget(parent), brush_(brush) {
    setObjectName(name);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TShape::SetBrush(QColor brush) {
    if (brush == brush_)
        return;
    brush_ = brush;
    update();
}

void TShape::SetPen(QColor pen) {
    pen_ = pen;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), brush_);
    if (pen_.isValid()) {
        painter.setPen(pen_);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace sonari
