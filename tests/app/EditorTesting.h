#pragma once

// Helpers of the editor tests: the mouse through QTest, a widget painted into an image, and
// pixel queries.

#include "engine/DspMode.h"

#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>

namespace sonari::test {

// The mouse over one widget. QTest remembers the buttons held, and the editors act on no release.
class TEditorMouse {
public:
    explicit TEditorMouse(QWidget& widget) : widget_(widget) {}

    void Press(int x, int y, Qt::KeyboardModifiers keys = {},
               Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(&widget_, button, keys, {x, y});
        pressed_ = button;
    }
    // With the buttons still held, if any.
    void MoveTo(int x, int y, Qt::KeyboardModifiers keys = {}) {
        QTest::mouseEvent(QTest::MouseMove, &widget_, Qt::NoButton, keys, {x, y});
    }
    void Release() { QTest::mouseRelease(&widget_, pressed_); }
    void Click(int x, int y) {
        Press(x, y);
        Release();
    }
    // Press at `from`, move to `to`, release.
    void Drag(QPoint from, QPoint to) {
        Press(from.x(), from.y());
        MoveTo(to.x(), to.y());
        Release();
    }

private:
    QWidget& widget_;
    Qt::MouseButton pressed_ = Qt::NoButton;
};

// Calls `attempt` in every state that locks an editor: the modes 0, 1, 2, 3 and 5, then the
// modes 4 and 6 after `switchStageOff` (the editor's stage stays off).
inline void InEveryLockedState(TDspMode& mode, const std::function<void()>& switchStageOff,
                               const std::function<void(TDspMode mode)>& attempt) {
    for (TDspMode locked : {dmStop, dmSelectDevices, dmAdjustGain, dmRecord, dmPlayToFile}) {
        mode = locked;
        attempt(mode);
    }
    switchStageOff();
    for (TDspMode open : {dmPlay, dmProcess}) {
        mode = open;
        attempt(mode);
    }
}

// The widget as it paints itself.
inline QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xff000000u; }

// Pixels of exactly this colour inside the rectangle [x0, x1) x [y0, y1), or the whole image.
inline int CountColour(const QImage& image, QRgb colour, int x0 = 0, int y0 = 0, int x1 = -1,
                       int y1 = -1) {
    x1 = x1 < 0 ? image.width() : x1;
    y1 = y1 < 0 ? image.height() : y1;
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            count += Pixel(image, x, y) == (colour | 0xff000000u);
    return count;
}

// Colours nobody draws in this state.
inline void ExpectAbsent(const QImage& image, std::initializer_list<QRgb> colours) {
    for (QRgb colour : colours)
        EXPECT_EQ(CountColour(image, colour), 0) << std::hex << colour;
}

} // namespace sonari::test
