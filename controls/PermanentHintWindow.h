#pragma once

#include <QCursor>
#include <QPoint>
#include <QString>
#include <QWidget>

namespace sonari {

// A tool-tip-like window that stays up until it is told to hide and follows the cursor.
// While any of these shows, the application's own tool-tips are held back. Main thread only.
class TPermanentHintWindow : public QWidget {
public:
    explicit TPermanentHintWindow(QWidget* parent = nullptr);
    ~TPermanentHintWindow() override;

    // Shows `text` just below the visible part of the cursor at the cursor position (screen
    // coordinates); the first form takes the position from QCursor::pos().
    void ShowAtCursor(const QString& text);
    void ShowAtCursor(const QString& text, QPoint cursorPos);
    // Shows `text` with the window's top-left corner at (x, y) in screen coordinates.
    void ShowAt(const QString& text, int x, int y);
    void HideHint();
    bool Showing() const { return showing_; }
    const QString& Text() const { return text_; }

    // Rows of `cursor` drawn below its hot spot: the lowest row of its image that is not fully
    // transparent, or a typical arrow height when the image cannot be read (standard shapes).
    static int VisibleCursorHeight(const QCursor& cursor);
    static constexpr int kFallbackCursorHeight = 20;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSize HintSize(const QString& text) const;

    QString text_;
    bool showing_ = false;
};

} // namespace sonari
