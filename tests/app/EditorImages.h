#pragma once

// Rendering helpers of the editor tests: a widget painted into an image, kept for review under
// the build tree, and pixel queries.

#include "tests/support/TestSupport.h"

#include <QImage>
#include <QWidget>

#include <filesystem>
#include <iostream>
#include <string>

namespace sonari::test {

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

// Pixels of exactly this colour inside the rectangle [x0, x1) x [y0, y1).
inline int CountColour(const QImage& image, QRgb colour, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            count += Pixel(image, x, y) == (colour | 0xff000000u);
    return count;
}

inline int CountColour(const QImage& image, QRgb colour) {
    return CountColour(image, colour, 0, 0, image.width(), image.height());
}

// Pixels in the rectangle that differ from `background`: something was drawn there.
inline int CountOtherThan(const QImage& image, QRgb background, int x0, int y0, int x1, int y1) {
    return (x1 - x0) * (y1 - y0) - CountColour(image, background, x0, y0, x1, y1);
}

} // namespace sonari::test
