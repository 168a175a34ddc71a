#include "app/AppIcons.h"

#include <QImage>

#include <gtest/gtest.h>

namespace sonari {
namespace {

// Share of the pixels of a 32-pixel rendering for which `match` holds.
template <typename Match>
double Share(const QIcon& icon, Match match) {
    const QImage image = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    return double(count) / (image.width() * image.height());
}

bool Reddish(const QColor& c) { return c.alpha() > 200 && c.red() > 180 && c.green() < 80; }
bool Greenish(const QColor& c) { return c.alpha() > 200 && c.green() > 120 && c.red() < 80; }

// Each icon is one object, so the tray recognises an icon it already shows.
TEST(AppIcons, StopIsRedMarkedRunIsGreenAndEachIsOneObject) {
    EXPECT_GT(Share(StopIcon(), Reddish), 0.05);
    EXPECT_EQ(Share(StopIcon(), Greenish), 0.0);
    EXPECT_GT(Share(RunIcon(), Greenish), 0.05);
    EXPECT_EQ(Share(RunIcon(), Reddish), 0.0);
    EXPECT_GT(Share(ProgramIcon(), [](const QColor& c) { return c.alpha() > 200; }), 0.5);
    EXPECT_EQ(StopIcon().cacheKey(), StopIcon().cacheKey());
    EXPECT_NE(StopIcon().cacheKey(), RunIcon().cacheKey());
}

} // namespace
} // namespace sonari
