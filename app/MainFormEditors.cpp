// The two editors on the pages of the main window.
#include "app/MainForm.h"

namespace sonari {
namespace {

QWidget* EmptyPlot(const char* name, QWidget* parent) {
    auto* plot = new QWidget(parent);
    plot->setObjectName(name);
    QPalette palette = plot->palette();
    palette.setColor(QPalette::Window, QColor(232, 255, 255));
    plot->setPalette(palette);
    plot->setAutoFillBackground(true);
    return plot;
}

} // namespace

QWidget* TMainForm::CreateEqualizerEditor(QWidget* parent) {
    return EmptyPlot("PaintBox1", parent);
}

QWidget* TMainForm::CreateDynamicsEditor(QWidget* parent) { return EmptyPlot("PaintBox2", parent); }

} // namespace sonari
