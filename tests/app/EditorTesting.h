#pragma once

// Helpers of the editor tests: the mouse through QTest, a widget painted into an image kept for
// review under the build tree, and pixel queries.

#include "engine/DspMode.h"
#include "tests/support/TestSupport.h"

#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <string>

namespace sonari::test {

// The mouse over one widget; a button still held is released when it goes, so a failed test
// leaves no button down for the next.
class TEditorMouse {
public:
    explicit TEditorMouse(QWidget& widget) : widget_(widget) {}
    ~TEditorMouse() {
        if (pressed_ != Qt::NoButton)
            Release();
    }
    TEditorMouse(const TEditorMouse&) = delete;
    TEditorMouse& operator=(const TEditorMouse&) = delete;

    void Press(int x, int y, Qt::KeyboardModifiers keys = {},
               Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(&widget_, button, keys, {x, y});
        pressed_ = button;
    }
    // With the buttons still held, if any.
    void MoveTo(int x, int y, Qt::KeyboardModifiers keys = {}) {
        QTest::mouseEvent(QTest::MouseMove, &widget_, Qt::NoButton, keys, {x, y});
    }
    void Release() {
        QTest::mouseRelease(&widget_, pressed_, {}, {0, 0});
        pressed_ = Qt::NoButton;
    }
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

// The widget as it paints itself, stored as build/artifacts/editors/<name>.png.
inline QImage RenderForReview(QWidget& widget, const std::string& name) {
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const std::filesystem::path dir = BinaryDir() / "artifacts" / "editors";
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / (name + ".png");
    if (image.save(QString::fromStdString(file.string())))
        std::cout << "[  IMAGE   ] " << file.string() << "\n";
    return image;
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
