#include "app/DynamicsEditor.h"

#include "app/DynamicsGeometry.h"
#include "app/EditorCanvas.h"
#include "tests/app/EditorScene.h"
#include "tests/app/EditorTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace sonari::test {
namespace {

// The standard curve plot: L = 10, T = 10, R = 331, B = 250 with 0 dBFS input at x0 = 330.
constexpr int kL = 10, kT = 10, kR = 331, kB = 250, kX0 = 330;
const TRect kDyn = DynPlotRect(276); // the standard paint box, 556 x 276

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
    TEditorMouse mouse{editor};
};

// ---- mapping ----------------------------------------------------------------------------

TDynValues InitialDynamics() { return {DbToAmplitude(-30), DbToAmplitude(-55), 1.0f}; }

// X and Y of an input and output level in the drag's own measure (from the right edge).
int InX(double db) { return kDyn.Right + int(std::lround(4 * db)); }
int OutY(double db) { return kDyn.Top - int(std::lround(3 * db)); }

double ClipDb(const TDynValues& v) { return AmplitudeToDb(v.ClipThreshold); }
double GateDb(const TDynValues& v) { return AmplitudeToDb(v.GateThreshold); }

TEST(DynamicsGeometry, CurvePointsOfAGateThatLeavesThePlotAndOfNonsense) {
    TDynValues low = InitialDynamics();
    low.GateThreshold = DbToAmplitude(-75);
    // The gate slope is pulled in at the left edge: 19 pixels left, Round(42.75) down.
    EXPECT_EQ(CurvePoints(kDyn, low)[2], (TPoint{30, 163}));
    EXPECT_EQ(CurvePoints(kDyn, low)[3], (TPoint{11, 206}));
    for (const TDynValues& odd :
         {TDynValues{0, 0, 1}, TDynValues{DbToAmplitude(-30), DbToAmplitude(-55), 0},
          TDynValues{-1, std::numeric_limits<float>::quiet_NaN(), -3}})
        for (const TPoint& p : CurvePoints(kDyn, odd)) {
            EXPECT_LE(std::abs(p.X), 2'000'000);
            EXPECT_LE(std::abs(p.Y), 4'000'000);
        }
}

// The gate's height sets the ratio within 1 to 15.
TEST(DynamicsGeometry, ClipAndGateStayInTheirRangesAndPushEachOtherAndTheGateSetsTheRatio) {
    const TDynValues start = InitialDynamics();
    EXPECT_NEAR(ClipDb(DynDrag(cdClip, kDyn, 2000, 0, false, start)), -6, 1e-4);
    EXPECT_NEAR(ClipDb(DynDrag(cdClip, kDyn, -2000, 0, false, start)), -74, 1e-4);
    const TDynValues right = DynDrag(cdGate, kDyn, 5000, 0, true, start);
    EXPECT_NEAR(GateDb(right), -7, 1e-4);
    EXPECT_LE(ClipDb(right), -6.0); // pushed up to gate / 0.9, no further
    EXPECT_FLOAT_EQ(right.ClipThreshold, float(right.GateThreshold / 0.9L));
    const TDynValues left = DynDrag(cdGate, kDyn, -5000, 0, true, start);
    EXPECT_NEAR(GateDb(left), -75, 1e-4);
    EXPECT_EQ(left.ClipThreshold, start.ClipThreshold);
    EXPECT_EQ(DynDrag(cdNone, kDyn, InX(-20), 0, false, start), start);
    // Above -7 dBFS the divisor stays 1: 45 dB of span limited to 15.
    EXPECT_FLOAT_EQ(DynDrag(cdGate, kDyn, InX(-75), OutY(0), false, start).Compression, 15.0f);
    EXPECT_NEAR(DynDrag(cdGate, kDyn, InX(-40), OutY(-7), false, start).Compression, 10.0, 1e-4);
    EXPECT_FLOAT_EQ(DynDrag(cdGate, kDyn, InX(-55), OutY(-300), false, start).Compression, 1.0f);
}

TEST(DynamicsGeometry, EnvelopeMarkerAndHistogramBarsStayInsideTheirAreas) {
    EXPECT_EQ(EnvelopeX(kDyn, 0.0f), kDyn.Left);
    EXPECT_EQ(EnvelopeX(kDyn, DbToAmplitude(12)), kDyn.Right);
    const TRect hist = DynHistRect(556, 276);
    EXPECT_EQ(InHistogramBar(kDyn, 5, std::numeric_limits<int32_t>::max()).Top, 10);
    EXPECT_EQ(OutHistogramBar(hist, 6, std::numeric_limits<int32_t>::max()).Right, hist.Right);
    for (int32_t nothing : {0, std::numeric_limits<int32_t>::min()}) {
        const TRect in = InHistogramBar(kDyn, 5, nothing);
        const TRect out = OutHistogramBar(hist, 5, nothing);
        EXPECT_GE(in.Top, in.Bottom) << nothing;
        EXPECT_GE(out.Left, out.Right) << nothing;
    }
    EXPECT_TRUE(OutHistogramRowFits(hist, 80)); // all 81 bins fit the standard size
    EXPECT_FALSE(OutHistogramRowFits(hist, 81));
}

TEST(DynamicsGeometry, ScalesAndLabelsReadAsTheOperatorExpects) {
    std::vector<std::string> labels;
    for (const TDynAxisTick& tick : DynInputAxis(kDyn))
        if (!tick.Label.empty())
            labels.push_back(std::to_string(tick.X) + " " + tick.Label);
    for (const TLevelGridLine& row : DynOutputGrid(kDyn))
        if (!row.Label.empty())
            labels.push_back(std::to_string(row.Y) + " " + row.Label);
    EXPECT_EQ(labels, (std::vector<std::string>{"250 -20 dBFS", "170 -40 dBFS", "90 -60 dBFS",
                                                "10 -80 dBFS", "10 0", "70 -20", "130 -40",
                                                "190 -60", "250 -80"}));
    EXPECT_EQ(ClipLabel(-30.0f), "CLIP  -30.0 dBFS");
    EXPECT_EQ(GateLabel(-55.0f), "GATE  -55.0 dBFS");
    EXPECT_EQ(ComprLabel(3.0f), "COMPR  3:1");
    EXPECT_EQ(ComprLabel(1.6666666f), "COMPR  1.7:1");
    // Between the points, or left of the gate at the clip's height when it would rise above it.
    TCurvePoints p = CurvePoints(kDyn, InitialDynamics());
    p[2].Y = 33;
    EXPECT_EQ(ComprLabelPos(p, 80, 13), (TPoint{110 - 80 - 7, 28}));
}

// ---- interaction ------------------------------------------------------------------------

TEST_F(DynamicsEditor, ChangesNothingOutsideModes4And6OrWithTheClipperOff) {
    PaintCurve();
    const TDynValues start = ValuesOf(scene.Equalizer);
    InEveryLockedState(
        scene.Mode, [&] { scene.Equalizer.SetClipperEnabled(false); },
        [&](TDspMode mode) {
            mouse.Drag({210, 28}, {100, 100});  // the clip point
            mouse.Drag({110, 103}, {300, 20});  // the gate point
            mouse.Drag({400, 100}, {200, 100}); // from outside the plot
            EXPECT_TRUE(IsEditMode(mode) || editor.DragMode() == cdNone) << "mode " << mode;
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

// A drag from outside the plot marks the profile modified at every move but changes nothing;
// with Ctrl the gate moves at the ratio it had.
TEST_F(DynamicsEditor, ADragFromOutsideChangesNothingAndCtrlKeepsTheRatioWhileTheGateMoves) {
    scene.Equalizer.SetCompression(4.0f);
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

// ---- rendering --------------------------------------------------------------------------

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

// Stopped only the scales; the gain step adds the input histogram and the envelope; playing and
// processing add the output histogram and the curve, but only with the clipper on.
TEST_F(DynamicsEditor, EachModeShowsItsLayers) {
    scene.Equalizer.SetCompression(2.5f);
    scene.PlayVoice();
    struct TCase {
        TDspMode Mode;
        bool Clipper;
    };
    // Off first: the editor keeps the curve points it drew last.
    for (const auto [mode, clipper] :
         {TCase{dmPlay, false}, TCase{dmStop, true}, TCase{dmAdjustGain, true}, TCase{dmPlay, true},
          TCase{dmProcess, true}}) {
        SCOPED_TRACE(mode * 10 + clipper);
        scene.Mode = mode;
        scene.Equalizer.SetClipperEnabled(clipper);
        const QImage image = Render(editor);
        if (mode == dmStop) {
            ExpectAbsent(image, {kGreen, kRed});
        } else {
            const int x = kX0 + int(std::nearbyint(4 * AmplitudeToDb(scene.Analysis.Envelope())));
            ExpectInputHistogram(image, scene.Analysis.Histograms().InHistogram(), x);
            EXPECT_EQ(Pixel(image, x, kB - 7), kRed); // the envelope marker
            EXPECT_GT(CountColour(image, kRed, x - 3, kB - 10, x + 4, kB - 3), 20);
        }
        if (IsEditMode(mode) && clipper) {
            EXPECT_GT(CountColour(image, kBlue), 500); // the output histogram
            // Clip -30 dBFS, gate -55 dBFS, ratio 2.5: P0 (330, 28), P1 (210, 28), P2 (110, 58)
            // and P3 (25, 249).
            EXPECT_EQ(editor.StoredCurvePoints(),
                      (TCurvePoints{{{330, 28}, {210, 28}, {110, 58}, {25, 249}}}));
            EXPECT_EQ(Pixel(image, 160, 43), kTeal);
            EXPECT_EQ(Pixel(image, 210, 28), kLime);
            EXPECT_EQ(Pixel(image, 110, 58), kYellow);
        } else {
            ExpectAbsent(image, {kBlue, kLime, kYellow});
            EXPECT_EQ(editor.StoredCurvePoints(), TCurvePoints{});
        }
    }
}

} // namespace
} // namespace sonari::test
