#include "controls/VolumeSlider.h"

#include <QApplication>
#include <QBitmap>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <limits>

namespace sonari {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

// A 16 x 16 bitmap cursor whose rows 0..11 are visible, with its hot spot in row `hotY`.
QCursor TwelveRowCursor(int hotY) {
    QBitmap bitmap(16, 16), mask(16, 16);
    bitmap.fill(Qt::color0);
    mask.fill(Qt::color0);
    QPainter(&mask).fillRect(0, 0, 16, 12, Qt::color1);
    return QCursor(bitmap, mask, 0, hotY);
}

// A shown slider of the standard width (a 50-pixel track) inside a window at a known screen
// position, and a count of its OnChange events.
class SliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.move(100, 100);
        window.resize(300, 100);
        slider = new TVolumeSlider(&window);
        slider->move(20, 30);
        slider->OnChange = [this] { ++changes; };
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void Send(QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons buttons) {
        const QPointF local(x, 10);
        QMouseEvent event(type, local, slider->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(slider, &event);
    }
    void Press(int x, Qt::MouseButton button = Qt::LeftButton) {
        Send(QEvent::MouseButtonPress, x, button, button);
    }
    void Drag(int x) { Send(QEvent::MouseMove, x, Qt::NoButton, Qt::LeftButton); }
    void Hover(int x) { Send(QEvent::MouseMove, x, Qt::NoButton, Qt::NoButton); }
    void Release(int x) { Send(QEvent::MouseButtonRelease, x, Qt::LeftButton, Qt::NoButton); }
    void Leave() {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(slider, &event);
    }
    int ThumbX() const { return slider->ThumbRect().center().x(); }

    QWidget window;
    TVolumeSlider* slider = nullptr;
    int changes = 0;
};

// Setters never raise OnChange; a press on the track or with another button drags nothing. A
// drag adds the travel to the start value and holds an end until the pointer returns.
TEST_F(SliderTest, OnlyALeftPressOnTheThumbDragsAndItHoldsAnEndUntilThePointerReturns) {
    slider->SetDb(-3.0f);
    slider->SetValue(0.2f); // thumb near the left end
    Press(50);              // on the track
    Drag(55);
    Release(55);
    Press(ThumbX(), Qt::RightButton);
    Send(QEvent::MouseMove, ThumbX() + 10, Qt::NoButton, Qt::RightButton);
    EXPECT_FLOAT_EQ(slider->Value(), 0.2f);
    Press(ThumbX());
    Hover(ThumbX() + 10); // the button went up outside our sight: the drag is over
    EXPECT_FALSE(slider->Dragging());
    EXPECT_EQ(changes, 0);

    slider->SetValue(0.5f);
    const int x = ThumbX();
    Press(x);
    EXPECT_TRUE(slider->Dragging());
    Drag(x + 10); // 10 of 50 track pixels
    EXPECT_EQ(slider->Hint(), "-18.0 dB");
    Drag(x + 100);
    Drag(x + 30); // still past the end: 0.5 + 0.6
    EXPECT_EQ(slider->Value(), 1.0f);
    Drag(x + 20);
    EXPECT_FLOAT_EQ(slider->Value(), 0.9f);
    Drag(x - 400);
    Drag(x - 20);
    EXPECT_FLOAT_EQ(slider->Value(), 0.1f);
    Release(x - 20);
    EXPECT_FALSE(slider->Dragging());
    EXPECT_GT(changes, 0);
}

// The window's ordinary tool-tips are held back while the hint shows.
TEST_F(SliderTest, TheHintShowsWhileHoveringOrDraggingJustBelowTheVisibleCursor) {
    window.setToolTip("ordinary tip");
    const auto askForToolTip = [&] {
        QHelpEvent event(QEvent::ToolTip, QPoint(250, 80), window.mapToGlobal(QPoint(250, 80)));
        QApplication::sendEvent(&window, &event);
    };
    auto& hint = slider->HintWindow();
    slider->setCursor(TwelveRowCursor(2));
    Hover(30);
    EXPECT_TRUE(hint.Showing() && hint.isVisible());
    EXPECT_EQ(hint.Text(), slider->Hint());
    const QPoint cursor = slider->mapToGlobal(QPoint(30, 10));
    EXPECT_EQ(hint.pos(), QPoint(cursor.x(), cursor.y() + 10));
    askForToolTip();
    EXPECT_FALSE(QToolTip::isVisible());
    Leave();
    EXPECT_FALSE(hint.Showing() || hint.isVisible());
    askForToolTip();
    EXPECT_TRUE(QToolTip::isVisible());
    QToolTip::hideText();

    // Dragging out of the control keeps the hint, and it shows the owner's latest text.
    slider->OnChange = [&] { slider->SetHint("owner text"); };
    Press(ThumbX());
    Drag(ThumbX() + 200);
    Leave();
    EXPECT_TRUE(hint.Showing());
    EXPECT_EQ(hint.Text(), "owner text");
    Release(ThumbX() + 200);
    EXPECT_FALSE(hint.Showing());
    Hover(200); // outside, no drag
    EXPECT_FALSE(hint.Showing());
    slider->SetShowHint(false);
    Hover(30);
    EXPECT_FALSE(hint.Showing());

    // A pixmap cursor's visible rows are its opaque ones; a shape cursor's are not known.
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter(&pixmap).fillRect(3, 0, 5, 10, Qt::black);
    EXPECT_EQ(TPermanentHintWindow::VisibleCursorHeight(QCursor(pixmap, 3, 0)), 10);
    EXPECT_EQ(TPermanentHintWindow::VisibleCursorHeight(QCursor(Qt::ArrowCursor)),
              TPermanentHintWindow::kFallbackCursorHeight);
}

TEST_F(SliderTest, OverloadLightRepaintsOnlyOnChangeADisabledThumbIsSunkenAndDbFollowsValue) {
    QApplication::processEvents();
    const int paints = slider->PaintCount();
    slider->SetOverloaded(false);
    slider->SetOverloaded(true);
    slider->SetOverloaded(true);
    EXPECT_EQ(slider->PaintCount(), paints + 1);
    const QPoint light = slider->OverloadRect().center();
    EXPECT_EQ(slider->grab().toImage().pixelColor(light), QColor(Qt::red));
    slider->SetOverloaded(false);
    EXPECT_NE(slider->grab().toImage().pixelColor(light), QColor(Qt::red));

    const QRect thumb = slider->ThumbRect();
    const QImage enabled = slider->grab().toImage();
    slider->setEnabled(false);
    EXPECT_NE(enabled.copy(thumb), slider->grab().toImage().copy(thumb));

    // The dB figure follows value, scale and maximum; the setters keep it finite and on the track.
    EXPECT_EQ(slider->size(), QSize(60, 20));
    EXPECT_EQ(slider->Hint(), "-15.0 dB"); // Value 0.75 on a 60 dB track
    slider->SetHint("+5 dB");              // owners may write their own text...
    slider->SetValue(1.0f);                // ...until the next change
    EXPECT_EQ(slider->Hint(), "0.0 dB");
    slider->SetDbMax(6.0f);
    slider->SetValue(0.25f);
    slider->SetDbScale(80.0f);
    EXPECT_EQ(slider->Hint(), "-54.0 dB");
    slider->SetDb(-200.0f);
    EXPECT_EQ(slider->Value(), 0.0f);
    slider->SetValue(1.7f);
    EXPECT_EQ(slider->Value(), 1.0f);
    slider->SetValue(0.4f);
    slider->SetValue(kNaN);
    slider->SetDb(kInfinity);
    slider->SetDbScale(kNaN);
    slider->SetDbMax(kInfinity);
    slider->SetDbScale(0.0f); // a flat scale cannot place its own dB value
    slider->SetDb(0.0f);
    EXPECT_FLOAT_EQ(slider->Value(), 0.4f);

    // The margin stays inside the control.
    slider->resize(97, 20);
    for (const auto& [asked, kept] : {std::pair{100, 43}, {0, 5}, {20, 20}}) {
        slider->SetMargin(asked);
        EXPECT_EQ(slider->Margin(), kept) << asked;
    }
}

} // namespace
} // namespace sonari
