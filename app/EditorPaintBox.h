#pragma once

#include "app/EditorContext.h"

#include <QWidget>

namespace sonari {

// What both editors are: a fixed-size box, painted entirely by its owner in the label font,
// with a cross cursor, working on the engine's data. Main thread only.
class TEditorPaintBox : public QWidget {
public:
    static constexpr int kWidth = 556; // pixels, the size the layout is designed for
    static constexpr int kHeight = 276;

    QSize sizeHint() const override { return {kWidth, kHeight}; }

protected:
    TEditorPaintBox(const char* objectName, TEditorContext context, QWidget* parent);

    // After every drag step: tells the window the profile changed and repaints.
    void Edited();
    // The whole box filled with the window colour, under every page.
    QRgb WindowColour() const { return palette().color(QPalette::Window).rgb(); }

    TEditorContext context_;
};

} // namespace sonari
