#include "app/EditorPaintBox.h"

#include "app/EditorCanvas.h"

namespace sonari {

TEditorPaintBox::TEditorPaintBox(const char* objectName, TEditorContext context, QWidget* parent)
    : QWidget(parent), context_(std::move(context)) {
    setObjectName(objectName);
    resize(kWidth, kHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::CrossCursor);
    // Every pixel is painted. Qt paints into the window's backing store and shows it whole, so
    // the page never flickers without a pixmap of our own.
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetEditorFont(*this);
}

// The engine repaints every block while it plays; the repaint here makes a handle follow the
// mouse at once, and Qt folds it into the next one anyway.
void TEditorPaintBox::Edited() {
    if (context_.MarkModified)
        context_.MarkModified();
    update();
}

} // namespace sonari
