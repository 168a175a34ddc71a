#include "app/DynamicsEditor.h"

#include "app/EditorCanvas.h"
#include "tests/app/EditorScene.h"
#include "tests/app/EditorTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace sonari {
namespace {

using test::CountColour;
using test::ExpectAbsent;
using test::Pixel;
using test::TEditorScene;

// The standard areas: curve plot L = 10, T = 10, R = 331, B = 250 with 0 dBFS input at x0 =
// 330; output histogram 341..526 x 10..251.
constexpr int kL = 10, kT = 10, kR = 331, kB = 250, kX0 = 330;
constexpr int kHistL = 341, kHistT = 10, kHistR = 526, kHistB = 251;

TDynValues ValuesOf(const TMicEqualizer& eq) {
    return {eq.ClipThreshold(), eq.GateThreshold(), eq.Compression()};
}

// A dynamics editor on the scene's data at the equalizer's initial settings (clip -30 dBFS,
// gate -55 dBFS, ratio 1), shown on the offscreen screen, and the mouse.
class DynamicsEditor : public ::testing::Test {
protected:
    void SetUp() override {
        scene.Equalizer.SetCompression(1.0f);
        editor.show();
    }
    // Plays the voice and paints once in mode 4, so the editor holds the drawn curve points.
    void PaintCurve() {
        scene.PlayVoice();
        scene.Mode = dmPlay;
        editor.grab();
    }

    TEditorScene scene;
    TDynamicsEditor editor{scene.Context()};
    test::TEditorMouse mouse{editor};
};

// ---- interaction ------------------------------------------------------------------------

TEST_F(DynamicsEditor, ChangesNothingOutsideModes4And6OrWithTheClipperOff) {
    PaintCurve();
    const TDynValues start = ValuesOf(scene.Equalizer);
    test::InEveryLockedState(
        scene.Mode, [&] { scene.Equalizer.SetClipperEnabled(false); },
        [&](TDspMode mode) {
            mouse.Drag({210, 28}, {100, 100});  // the clip point
            mouse.Drag({110, 103}, {300, 20});  // the gate point
            mouse.Drag({400, 100}, {200, 100}); // from outside the plot
            if (!IsEditMode(mode)) {
                EXPECT_EQ(editor.DragMode(), cdNone) << "mode " << mode;
            }
        });
    EXPECT_EQ(ValuesOf(scene.Equalizer), start);
    EXPECT_EQ(scene.Modified, 0);
}

TEST_F(DynamicsEditor, AClickWithoutMovementSetsThePointOnItsSideOfTheMiddle) {
    scene.Mode = dmPlay;
    editor.grab(); // no histogram yet: the curve is not drawn
    EXPECT_EQ(editor.StoredCurvePoints(), TCurvePoints{});
    mouse.Click(100, 100); // far left of where the gate point will be: all-zero points say clip
    EXPECT_EQ(editor.DragMode(), cdClip);
    EXPECT_NEAR(AmplitudeToDb(scene.Equalizer.ClipThreshold()), (100 - kR) / 4.0, 1e-4);
    scene.Equalizer.SetClipThreshold(DbToAmplitude(-30));
    scene.Equalizer.SetGateThreshold(DbToAmplitude(-55));

    PaintCurve(); // P1 (210, 28), P2 (110, 103)
    // Left of the middle column (210 + 110) div 2 = 160: the gate, to (159 - 331) / 4 = -43
    // dBFS; its height, -10 dBFS out, sets the ratio from -6 dBFS at the clip: 13 dB / 4 dB.
    mouse.Click(159, 40);
    EXPECT_EQ(editor.DragMode(), cdGate);
    EXPECT_NEAR(AmplitudeToDb(scene.Equalizer.GateThreshold()), -43, 1e-4);
    EXPECT_NEAR(scene.Equalizer.Compression(), 13.0 / 4, 1e-4);
    // The middle column itself: the clip, to -42.75 dBFS, which pushes the gate below it.
    mouse.Click(160, 100);
    EXPECT_EQ(editor.DragMode(), cdClip);
    EXPECT_NEAR(AmplitudeToDb(scene.Equalizer.ClipThreshold()), -42.75, 1e-4);
    EXPECT_FLOAT_EQ(scene.Equalizer.GateThreshold(), float(0.9L * scene.Equalizer.ClipThreshold()));
    EXPECT_EQ(scene.Modified, 3);
}

TEST_F(DynamicsEditor, CtrlKeepsTheRatioWhileTheGateMoves) {
    scene.Equalizer.SetCompression(4.0f);
    PaintCurve();
    ASSERT_EQ(editor.StoredCurvePoints()[2], (TPoint{110, 47}));
    mouse.Press(110, 47, Qt::ControlModifier);
    mouse.MoveTo(130, 150, Qt::ControlModifier);
    EXPECT_NEAR(AmplitudeToDb(scene.Equalizer.GateThreshold()), -50.25, 1e-4);
    EXPECT_FLOAT_EQ(scene.Equalizer.Compression(), 4.0f);
    // Without Ctrl the line from -6 dBFS at the clip (-30) to -21 dBFS at the gate: 20.25/15.
    mouse.MoveTo(130, kT + 3 * 21);
    EXPECT_NEAR(scene.Equalizer.Compression(), 20.25 / 15, 1e-4);
    mouse.Release();
}

TEST_F(DynamicsEditor, DraggingFromOutsideThePlotMarksModifiedWithoutChanges) {
    PaintCurve();
    const TDynValues start = ValuesOf(scene.Equalizer);
    mouse.Press(400, 100); // in the histogram area
    EXPECT_EQ(editor.DragMode(), cdNone);
    EXPECT_EQ(scene.Modified, 0);
    mouse.MoveTo(200, 100);
    mouse.MoveTo(120, 60);
    mouse.Release();
    EXPECT_EQ(scene.Modified, 2);
    EXPECT_EQ(ValuesOf(scene.Equalizer), start);
}

// ---- rendering --------------------------------------------------------------------------

class DynamicsEditorImage : public DynamicsEditor {
protected:
    void SetUp() override {
        DynamicsEditor::SetUp();
        scene.Equalizer.SetCompression(2.5f);
        scene.PlayVoice();
    }
};

// Every input bin as a green bar, 2 pixels wide at x0 - 4i, rising `entry` pixels from the
// plot's bottom (cut at its top). The lines drawn later may cross a bar in teal; the envelope
// marker is left out.
void ExpectInputHistogram(const QImage& image, const TIntegerArray& bins, int markerX) {
    int wrong = 0;
    std::ostringstream first;
    for (int i = 0; i <= 80; ++i) {
        const int x = kX0 - 4 * i;
        if (std::abs(x - markerX) < 6)
            continue;
        const int top = std::max(kT, kB - 1 - bins[i]);
        for (int y = kT; y < kB; ++y) {
            const bool green = y >= top && y < kB - 1;
            for (int dx : {0, 1}) {
                const QRgb pixel = Pixel(image, x + dx, y);
                const bool ok = green ? pixel == kGreen || pixel == kTeal : pixel != kGreen;
                if (!ok && wrong++ == 0)
                    first << "bin " << i << " row " << y;
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "first at " << first.str();
    int area = 0;
    for (int entry : bins)
        area += 2 * std::clamp(entry, 0, kB - 1 - kT);
    EXPECT_GT(CountColour(image, kGreen, kL, kT, kR, kB), area * 9 / 10);
}

void ExpectEnvelopeMarker(const QImage& image, const TDisplayAnalysis& analysis) {
    const int x = kX0 + int(std::nearbyint(4 * AmplitudeToDb(analysis.Envelope())));
    EXPECT_EQ(Pixel(image, x, kB - 7), kRed);
    EXPECT_GT(CountColour(image, kRed, x - 3, kB - 10, x + 4, kB - 3), 20);
}

// Clip -30 dBFS, gate -55 dBFS, ratio 2.5: P0 (330, 28), P1 (210, 28), P2 (110, 58) and P3
// (25, 249).
void ExpectCurve(const QImage& image, const TDynamicsEditor& editor) {
    EXPECT_EQ(editor.StoredCurvePoints(),
              (TCurvePoints{{{330, 28}, {210, 28}, {110, 58}, {25, 249}}}));
    EXPECT_EQ(Pixel(image, 160, 43), kTeal);
    EXPECT_EQ(Pixel(image, 210, 28), kLime);
    EXPECT_EQ(Pixel(image, 110, 58), kYellow);
}

// Stopped only the scales; the gain step adds the input histogram and the envelope; playing and
// processing add the output histogram and the curve.
TEST_F(DynamicsEditorImage, EachModeShowsItsLayers) {
    for (TDspMode mode : {dmStop, dmAdjustGain, dmPlay, dmProcess}) {
        SCOPED_TRACE(mode);
        scene.Mode = mode;
        const QImage image =
            test::RenderForReview(editor, "dynamics-mode" + std::to_string(int{mode}));
        if (mode == dmStop) {
            ExpectAbsent(image, {kGreen, kRed});
        } else {
            const int markerX =
                kX0 + int(std::nearbyint(4 * AmplitudeToDb(scene.Analysis.Envelope())));
            ExpectInputHistogram(image, scene.Analysis.Histograms().InHistogram(), markerX);
            ExpectEnvelopeMarker(image, scene.Analysis);
        }
        if (IsEditMode(mode)) {
            EXPECT_GT(CountColour(image, kBlue), 500); // the output histogram
            ExpectCurve(image, editor);
        } else {
            ExpectAbsent(image, {kBlue, kLime, kYellow});
            EXPECT_EQ(editor.StoredCurvePoints(), TCurvePoints{});
        }
    }
}

TEST_F(DynamicsEditorImage, WithTheClipperOffTheCurveAndOutputHistogramStayHidden) {
    scene.Mode = dmPlay;
    scene.Equalizer.SetClipperEnabled(false);
    const QImage image = test::RenderForReview(editor, "dynamics-mode4-off");
    ExpectAbsent(image, {kBlue, kLime, kYellow});
    EXPECT_GT(CountColour(image, kGreen), 200);
    EXPECT_EQ(editor.StoredCurvePoints(), TCurvePoints{});
}

} // namespace
} // namespace sonari
