#include "controls/PermanentHintWindow.h"

#include <QApplication>
#include <QBitmap>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QToolTip>

#include <algorithm>

namespace sonari {
namespace {

constexpr int kPaddingX = 4;
constexpr int kPaddingY = 2;

// Lowest row of `image` holding a pixel that `visible` accepts; -1 when there is none.
template <typename Visible>
int LowestVisibleRow(const QImage& image, Visible visible) {
    for (int y = image.height() - 1; y >= 0; --y)
        for (int x = 0; x < image.width(); ++x)
            if (visible(image.pixel(x, y)))
                return y;
    return -1;
}

int LowestVisibleRow(const QCursor& cursor) {
    const QPixmap pixmap = cursor.pixmap();
    if (!pixmap.isNull()) {
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        return LowestVisibleRow(image, [](QRgb p) { return qAlpha(p) != 0; });
    }
    // Monochrome cursors: a pixel shows where the mask or the bitmap is set (colour1 = black).
    const auto isSet = [](QRgb p) { return qGray(p) < 128; };
    const QBitmap mask = cursor.mask();
    const QBitmap bitmap = cursor.bitmap();
    if (mask.isNull() && bitmap.isNull())
        return -2;
    int lowest = -1;
    if (!mask.isNull())
        lowest = LowestVisibleRow(mask.toImage(), isSet);
    if (!bitmap.isNull())
        lowest = std::max(lowest, LowestVisibleRow(bitmap.toImage(), isSet));
    return lowest;
}

// The cursor shown at `pos`: an application override, else the one of the widget under it.
QCursor CursorAt(QPoint pos) {
    if (const QCursor* override = QGuiApplication::overrideCursor())
        return *override;
    if (const QWidget* widget = QApplication::widgetAt(pos))
        return widget->cursor();
    return QCursor(Qt::ArrowCursor);
}

} // namespace

TPermanentHintWindow::TPermanentHintWindow(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
}

TPermanentHintWindow::~TPermanentHintWindow() { HideHint(); }

int TPermanentHintWindow::VisibleCursorHeight(const QCursor& cursor) {
    if (cursor.shape() != Qt::BitmapCursor)
        return kFallbackCursorHeight;
    const int lowest = LowestVisibleRow(cursor);
    if (lowest == -2)
        return kFallbackCursorHeight;
    return std::max(0, lowest - cursor.hotSpot().y() + 1);
}

void TPermanentHintWindow::ShowAtCursor(const QString& text) { ShowAtCursor(text, QCursor::pos()); }

void TPermanentHintWindow::ShowAtCursor(const QString& text, QPoint cursorPos) {
    ShowAt(text, cursorPos.x(), cursorPos.y() + VisibleCursorHeight(CursorAt(cursorPos)));
}

void TPermanentHintWindow::ShowAt(const QString& text, int x, int y) {
    if (!showing_ && qApp) {
        // Our hint replaces the ordinary tool-tips while it is up.
        QToolTip::hideText();
        qApp->installEventFilter(this);
    }
    showing_ = true;
    text_ = text;
    QRect rect(QPoint(x, y), HintSize(text));
    // Keep the whole hint on the screen the cursor is on.
    if (const QScreen* screen = QGuiApplication::screenAt(QPoint(x, y))) {
        const QRect area = screen->geometry();
        rect.moveRight(std::min(rect.right(), area.right()));
        rect.moveBottom(std::min(rect.bottom(), area.bottom()));
        rect.moveLeft(std::max(rect.left(), area.left()));
        rect.moveTop(std::max(rect.top(), area.top()));
    }
    setGeometry(rect);
    show();
    repaint();
}

void TPermanentHintWindow::HideHint() {
    if (showing_ && qApp)
        qApp->removeEventFilter(this);
    hide();
    showing_ = false;
}

QSize TPermanentHintWindow::HintSize(const QString& text) const {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int maxWidth = screen ? screen->geometry().width() : 1024;
    const QRect textRect = fontMetrics().boundingRect(QRect(0, 0, maxWidth - 2 * kPaddingX, 0),
                                                      Qt::AlignLeft | Qt::TextWordWrap, text);
    return {textRect.width() + 2 * kPaddingX, textRect.height() + 2 * kPaddingY};
}

void TPermanentHintWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::ToolTipBase));
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.drawText(rect().adjusted(kPaddingX, kPaddingY, -kPaddingX, -kPaddingY),
                     Qt::AlignLeft | Qt::TextWordWrap, text_);
}

bool TPermanentHintWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip)
        return true;
    return QWidget::eventFilter(watched, event);
}

} // namespace sonari
