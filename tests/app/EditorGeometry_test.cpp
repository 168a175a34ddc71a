#include "app/EditorGeometry.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace sonari {
namespace {

constexpr int kPaintWidth = 556;
constexpr int kPaintHeight = 276;
const TRect kEq = EqPlotRect(kPaintWidth, kPaintHeight);
const TRect kDyn = DynPlotRect(kPaintWidth, kPaintHeight);

// X of a plot column, and Y of a level, for the standard equalizer plot.
int EqX(int column) { return kEq.Left + column; }

TDynValues InitialDynamics() { return {DbToAmplitude(-30), DbToAmplitude(-55), 1.0f}; }

// ---- rectangles -------------------------------------------------------------------------

TEST(EditorRectangles, StandardPaintBoxGivesTheKnownPlotAreas) {
    EXPECT_EQ(EqFrameRect(kPaintWidth, kPaintHeight), (TRect{10, 10, 523, 251}));
    EXPECT_EQ(kEq, (TRect{10, 10, 523, 250}));
    EXPECT_EQ(DynFrameRect(kPaintWidth, kPaintHeight), (TRect{10, 10, 331, 251}));
    EXPECT_EQ(kDyn, (TRect{10, 10, 331, 250}));
    EXPECT_EQ(DynX0(kDyn), 330);
    EXPECT_EQ(DynHistRect(kPaintWidth, kPaintHeight), (TRect{341, 10, 526, 251}));
}

// ---- equalizer mappings -----------------------------------------------------------------

TEST(EqualizerAxes, BandsAndDefaultCutoffsSitAtTheirColumns) {
    const int expected[kEqBandCount] = {89, 156, 223, 289, 356, 423, 490};
    for (int i = 0; i < kEqBandCount; ++i) {
        EXPECT_EQ(FreqToX(BandHz(i)), expected[i]) << BandHz(i) << " Hz";
        EXPECT_EQ(BandX(kEq, i), 10 + expected[i]);
    }
    EXPECT_EQ(FreqToX(300), 223);
    EXPECT_EQ(FreqToX(2700), 435);
    EXPECT_EQ(FreqToX(30), 0);
    EXPECT_EQ(FreqToX(6000), 512);
}

TEST(EqualizerAxes, ColumnToFrequencyIsTheInverseOfFrequencyToColumn) {
    EXPECT_NEAR(XToFreq(338), 991.198, 0.01);
    EXPECT_NEAR(XToFreq(339), 1001.509, 0.01);
    EXPECT_FLOAT_EQ(XToFreq(0), 30.0f);
    EXPECT_NEAR(XToFreq(512), 6000.0, 0.01);
    for (int column = 0; column <= 512; ++column)
        ASSERT_EQ(FreqToX(XToFreq(column)), column);
}

TEST(EqualizerAxes, LevelsMapTwoPixelsPerDbWithHalvesRoundedToEven) {
    EXPECT_EQ(DbToY(kEq, 0), 50);
    EXPECT_EQ(DbToY(kEq, 20), 10);
    EXPECT_EQ(DbToY(kEq, -100), 250);
    EXPECT_EQ(DbToY(kEq, 0.25), 50);  // 0.5 -> 0
    EXPECT_EQ(DbToY(kEq, 0.75), 48);  // 1.5 -> 2
    EXPECT_EQ(DbToY(kEq, -1.25), 52); // -2.5 -> -2
    EXPECT_FLOAT_EQ(YToDb(kEq, 43), 3.5f);
    EXPECT_FLOAT_EQ(YToDb(kEq, 51), -0.5f);
}

TEST(EqualizerAxes, CurvesAreClampedToThePlotWhateverTheLevel) {
    EXPECT_EQ(ClampedDbToY(kEq, 35), kEq.Top);
    EXPECT_EQ(ClampedDbToY(kEq, -180), kEq.Bottom);
    EXPECT_EQ(ClampedDbToY(kEq, -10), 70);
    EXPECT_EQ(ClampedDbToY(kEq, -std::numeric_limits<double>::infinity()), kEq.Bottom);
    EXPECT_EQ(ClampedDbToY(kEq, std::numeric_limits<double>::infinity()), kEq.Top);
    EXPECT_EQ(ClampedDbToY(kEq, std::numeric_limits<double>::quiet_NaN()), kEq.Bottom);
}

// ---- equalizer clicks and drags ---------------------------------------------------------

TEST(EqualizerClick, TheMiddleRowAndBelowDragACutoffAndTheSideDependsOn1000Hz) {
    const int middle = (kEq.Top + kEq.Bottom) / 2;
    EXPECT_EQ(EqDragModeAt(kEq, EqX(338), middle), edCutoffLo);
    EXPECT_EQ(EqDragModeAt(kEq, EqX(339), middle), edCutoffHi);
    EXPECT_EQ(EqDragModeAt(kEq, EqX(338), middle - 1), edBand);
    EXPECT_EQ(EqDragModeAt(kEq, EqX(0), kEq.Bottom - 1), edCutoffLo);
    EXPECT_EQ(EqDragModeAt(kEq, kEq.Right, middle), edNone);
    EXPECT_EQ(EqDragModeAt(kEq, EqX(100), kEq.Bottom), edNone);
    EXPECT_EQ(EqDragModeAt(kEq, kEq.Left - 1, 20), edNone);
}

TEST(EqualizerDrag, LowCutoffStepsBy5HzBetween50And500) {
    EXPECT_EQ(CutoffLoAt(kEq, EqX(0)), 50);
    EXPECT_EQ(CutoffLoAt(kEq, kEq.Left - 300), 50);
    EXPECT_EQ(CutoffLoAt(kEq, EqX(223)), 300);
    EXPECT_EQ(CutoffLoAt(kEq, EqX(337)), 500);
    int previous = 0;
    for (int column = 0; column < 338; ++column) {
        const int hz = CutoffLoAt(kEq, EqX(column));
        ASSERT_EQ(hz % 5, 0) << column;
        ASSERT_GE(hz, previous) << column;
        const double f = XToFreq(column);
        if (f > 55 && f < 495) {
            ASSERT_LE(std::abs(hz - f), 3.0) << column;
        }
        previous = hz;
    }
}

TEST(EqualizerDrag, HighCutoffStepsBy50HzBetween1500And5700) {
    EXPECT_EQ(CutoffHiAt(kEq, EqX(339)), 1500);
    EXPECT_EQ(CutoffHiAt(kEq, EqX(435)), 2700);
    EXPECT_EQ(CutoffHiAt(kEq, EqX(512)), 5700);
    EXPECT_EQ(CutoffHiAt(kEq, kEq.Right + 10000), 5700);
    for (int column = 339; column <= 512; ++column) {
        const int hz = CutoffHiAt(kEq, EqX(column));
        ASSERT_EQ(hz % 50, 0) << column;
        const double f = XToFreq(column);
        if (f > 1525 && f < 5675) {
            ASSERT_LE(std::abs(hz - f), 25.5) << column;
        }
    }
}

TEST(EqualizerDrag, TheNearestBandColumnWinsAndTheEndsCatchTheRest) {
    EXPECT_EQ(BandAt(kEq, EqX(89)), 0);
    EXPECT_EQ(BandAt(kEq, EqX(122)), 0); // 33 of 67 pixels towards band 1
    EXPECT_EQ(BandAt(kEq, EqX(123)), 1);
    EXPECT_EQ(BandAt(kEq, EqX(300)), 3);
    EXPECT_EQ(BandAt(kEq, EqX(0)), 0);
    EXPECT_EQ(BandAt(kEq, EqX(512)), 6);
    for (int band = 0; band < kEqBandCount; ++band)
        EXPECT_EQ(BandAt(kEq, BandX(kEq, band)), band);
}

TEST(EqualizerDrag, BandGainIsUnroundedHalfDbStepsWithin20Db) {
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 43), 3.5f); // 7 pixels above the 0 dB line
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 0), 20.0f);
    EXPECT_FLOAT_EQ(BandGainAt(kEq, kEq.Top), 20.0f);
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 91), -20.0f); // -20.5 limited
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 89), -19.5f);
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 249), -20.0f);
}

TEST(EqualizerLabels, GainsCarryASignOnlyAboveZero) {
    EXPECT_EQ(BandGainLabel(3.5f), "+3.5 dB");
    EXPECT_EQ(BandGainLabel(0.0f), "0.0 dB");
    EXPECT_EQ(BandGainLabel(-0.0f), "0.0 dB");
    EXPECT_EQ(BandGainLabel(-12.5f), "-12.5 dB");
    EXPECT_EQ(BandGainLabel(20.0f), "+20.0 dB");
    EXPECT_EQ(HzLabel(2700), "2700 Hz");
}

TEST(EqualizerLabels, DecimalPointIsAPointWhateverTheLocale) {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.utf8"))
        GTEST_SKIP() << "no German locale installed";
    EXPECT_EQ(BandGainLabel(-2.5f), "-2.5 dB");
    EXPECT_EQ(ComprLabel(2.5f), "COMPR  2.5:1");
    std::setlocale(LC_NUMERIC, old.c_str());
}

TEST(EqualizerGrid, FiveLabelledFrequenciesBetween30HzAnd6kHz) {
    const auto grid = EqFreqGrid();
    ASSERT_EQ(grid.size(), 22u); // 30..90, 100..900, 1000..6000
    EXPECT_EQ(grid.front().Hz, 30);
    EXPECT_EQ(grid.front().Column, 0);
    EXPECT_EQ(grid.back().Hz, 6000);
    EXPECT_EQ(grid.back().Column, 512);
    std::vector<int> labelled;
    for (const auto& line : grid)
        if (line.Labelled)
            labelled.push_back(line.Hz);
    EXPECT_EQ(labelled, (std::vector<int>{30, 100, 300, 1000, 3000}));
}

TEST(EqualizerGrid, LevelLinesRunFromPlus10ToMinus90AndTheBottomLabelStillShows) {
    const auto grid = EqLevelGrid(kEq);
    std::vector<int> lineDb;
    std::vector<std::string> labels;
    for (const auto& line : grid) {
        if (line.Line)
            lineDb.push_back(int(YToDb(kEq, line.Y)));
        if (!line.Label.empty())
            labels.push_back(line.Label);
    }
    EXPECT_EQ(lineDb, (std::vector<int>{10, 0, -10, -20, -30, -40, -50, -60, -70, -80, -90}));
    EXPECT_EQ(labels, (std::vector<std::string>{"0", "-20", "-40", "-60", "-80", "-100"}));
    EXPECT_FALSE(grid.back().Line);
    EXPECT_EQ(grid.back().Y, kEq.Bottom);
}

// ---- dynamics curve ---------------------------------------------------------------------

TEST(DynamicsCurve, InitialValuesGiveTheKnownPoints) {
    const TCurvePoints p = CurvePoints(kDyn, InitialDynamics());
    EXPECT_EQ(p[0], (TPoint{330, 28}));
    EXPECT_EQ(p[1], (TPoint{210, 28}));
    EXPECT_EQ(p[2], (TPoint{110, 103}));
    EXPECT_EQ(p[3], (TPoint{45, 249}));
}

TEST(DynamicsCurve, CompressorSlopeIsOneOverTheRatio) {
    TDynValues values = InitialDynamics();
    values.Compression = 3.0f;
    const TCurvePoints p = CurvePoints(kDyn, values);
    // 25 dB in below the clip point give 25/3 dB out: 100 pixels across, 25 down.
    EXPECT_EQ(p[2], (TPoint{110, 53}));
    EXPECT_EQ(p[3].Y, 249);
    EXPECT_EQ(p[3].X, 110 - 87); // 196 pixels down at 9/4 per pixel across
}

TEST(DynamicsCurve, GateSlopeIsPulledInAtTheLeftEdge) {
    TDynValues values = InitialDynamics();
    values.GateThreshold = DbToAmplitude(-75);
    const TCurvePoints p = CurvePoints(kDyn, values);
    EXPECT_EQ(p[2], (TPoint{30, 163}));
    EXPECT_EQ(p[3], (TPoint{11, 206})); // 19 pixels left, Round(42.75) down
}

TEST(DynamicsCurve, DegenerateSettingsStillGiveDrawablePoints) {
    for (const TDynValues& values :
         {TDynValues{0, 0, 1}, TDynValues{DbToAmplitude(-30), DbToAmplitude(-55), 0},
          TDynValues{-1, std::numeric_limits<float>::quiet_NaN(), -3}}) {
        for (const TPoint& p : CurvePoints(kDyn, values)) {
            EXPECT_LE(std::abs(p.X), 2'000'000);
            EXPECT_LE(std::abs(p.Y), 4'000'000);
        }
    }
}

TEST(DynamicsClick, TheMidPointBetweenClipAndGateDecides) {
    const TCurvePoints p = CurvePoints(kDyn, InitialDynamics());
    EXPECT_EQ(CurveDragModeAt(kDyn, p, 160, 100), cdClip); // (210 + 110) div 2
    EXPECT_EQ(CurveDragModeAt(kDyn, p, 159, 100), cdGate);
    EXPECT_EQ(CurveDragModeAt(kDyn, p, 331, 100), cdNone);
    EXPECT_EQ(CurveDragModeAt(kDyn, p, 200, 250), cdNone);
    const TCurvePoints none{};
    EXPECT_EQ(CurveDragModeAt(kDyn, none, kDyn.Left, kDyn.Top), cdClip);
}

// ---- dynamics drags ---------------------------------------------------------------------

// X and Y of an input and output level in the drag's own measure (from the right edge).
int InX(double db) { return kDyn.Right + int(std::lround(4 * db)); }
int OutY(double db) { return kDyn.Top - int(std::lround(3 * db)); }

TEST(DynamicsDrag, ClipStaysBetweenMinus74AndMinus6) {
    const TDynValues start = InitialDynamics();
    EXPECT_NEAR(AmplitudeToDb(DynDrag(cdClip, kDyn, 2000, 0, false, start).ClipThreshold), -6,
                1e-4);
    EXPECT_NEAR(AmplitudeToDb(DynDrag(cdClip, kDyn, -2000, 0, false, start).ClipThreshold), -74,
                1e-4);
    const TDynValues moved = DynDrag(cdClip, kDyn, InX(-20), 0, false, start);
    EXPECT_NEAR(AmplitudeToDb(moved.ClipThreshold), -20, 1e-4);
    EXPECT_EQ(moved.GateThreshold, start.GateThreshold);
    EXPECT_EQ(moved.Compression, start.Compression);
    EXPECT_EQ(DynDrag(cdNone, kDyn, InX(-20), 0, false, start), start);
}

TEST(DynamicsDrag, GateAboveTheClipPushesTheClipUp) {
    const TDynValues moved = DynDrag(cdGate, kDyn, InX(-20), OutY(-20), true, InitialDynamics());
    EXPECT_NEAR(AmplitudeToDb(moved.GateThreshold), -20, 1e-4);
    EXPECT_FLOAT_EQ(moved.ClipThreshold, float(moved.GateThreshold / 0.9L));
    EXPECT_NEAR(AmplitudeToDb(moved.ClipThreshold), -20 - 20 * std::log10(0.9), 1e-4);
}

TEST(DynamicsDrag, GateStaysBetweenMinus75AndMinus7AndNeverPassesTheClipCeiling) {
    const TDynValues start = InitialDynamics();
    const TDynValues right = DynDrag(cdGate, kDyn, 5000, 0, true, start);
    EXPECT_NEAR(AmplitudeToDb(right.GateThreshold), -7, 1e-4);
    EXPECT_LE(AmplitudeToDb(right.ClipThreshold), -6.0f);
    const TDynValues left = DynDrag(cdGate, kDyn, -5000, 0, true, start);
    EXPECT_NEAR(AmplitudeToDb(left.GateThreshold), -75, 1e-4);
    EXPECT_EQ(left.ClipThreshold, start.ClipThreshold);
}

TEST(DynamicsDrag, GateHeightSetsTheRatioUnlessCtrlIsHeld) {
    const TDynValues start = InitialDynamics();
    // From -6 dBFS at the clip (-30) to -21 dBFS at the gate (-55): 25 dB in, 15 dB out.
    const TDynValues ratio = DynDrag(cdGate, kDyn, InX(-55), OutY(-21), false, start);
    EXPECT_NEAR(ratio.Compression, 25.0 / 15.0, 1e-4);
    // Above -7 dBFS the divisor stays 1: 45 dB of span limited to 15.
    const TDynValues steep = DynDrag(cdGate, kDyn, InX(-75), OutY(0), false, start);
    EXPECT_FLOAT_EQ(steep.Compression, 15.0f);
    const TDynValues unit = DynDrag(cdGate, kDyn, InX(-40), OutY(-7), false, start);
    EXPECT_NEAR(unit.Compression, 10.0, 1e-4);
    const TDynValues flat = DynDrag(cdGate, kDyn, InX(-55), OutY(-300), false, start);
    EXPECT_FLOAT_EQ(flat.Compression, 1.0f);
    TDynValues held = start;
    held.Compression = 4.0f;
    EXPECT_FLOAT_EQ(DynDrag(cdGate, kDyn, InX(-55), OutY(-21), true, held).Compression, 4.0f);
}

TEST(DynamicsEnvelope, MarkerStaysInsideThePlot) {
    EXPECT_EQ(EnvelopeX(kDyn, kFullScale), 330);
    EXPECT_EQ(EnvelopeX(kDyn, DbToAmplitude(-20)), 250);
    EXPECT_EQ(EnvelopeX(kDyn, 0.0f), kDyn.Left);
    EXPECT_EQ(EnvelopeX(kDyn, 1e-10f), kDyn.Left);
    EXPECT_EQ(EnvelopeX(kDyn, 4 * kFullScale), kDyn.Right);
}

// ---- handles, axes and histogram bars ----------------------------------------------------

TEST(EditorHandles, SitOnTheirValuesAndTheirLabelsBesideThem) {
    EXPECT_EQ(CutoffHandleRect(kEq, 300), (TRect{230, 237, 237, 244}));
    EXPECT_EQ(CutoffLabelPos(kEq, 300, 13), (TPoint{243, 234}));
    EXPECT_EQ(BandHandleRect(kEq, 3, 3.5f), (TRect{296, 40, 303, 47}));
    EXPECT_EQ(BandLabelPos(kEq, 3, 3.5f, 41, 13), (TPoint{299 - 20, 43 - 13 - 5}));
    // Not clamped: a gain beyond the plot shows its handle beyond it.
    EXPECT_EQ(BandHandleRect(kEq, 0, 25.0f).Top, 10 + 40 - 50 - 3);
    const TCurvePoints p = CurvePoints(kDyn, InitialDynamics());
    EXPECT_EQ(CurveHandleRect(p[1]), (TRect{206, 24, 215, 33}));
    EXPECT_EQ(ClipLabelPos(p, 90, 13), (TPoint{210 - 90 - 5, 28 - 13 - 1}));
    EXPECT_EQ(GateLabelPos(p), (TPoint{115, 108}));
    EXPECT_EQ(EnvelopeMarkerRect(kDyn, DbToAmplitude(-20)), (TRect{247, 240, 254, 247}));
}

TEST(DynamicsScales, InputTicksEvery10DbAndOutputRowsFrom0ToMinus80) {
    std::vector<int> xs;
    std::vector<std::string> labels;
    for (const TDynAxisTick& tick : DynInputAxis(kDyn)) {
        xs.push_back(tick.X);
        if (!tick.Label.empty())
            labels.push_back(tick.Label);
    }
    EXPECT_EQ(xs, (std::vector<int>{330, 290, 250, 210, 170, 130, 90, 50, 10}));
    EXPECT_EQ(labels, (std::vector<std::string>{"-20 dBFS", "-40 dBFS", "-60 dBFS", "-80 dBFS"}));
    std::vector<int> ys;
    labels.clear();
    for (const TLevelGridLine& row : DynOutputGrid(kDyn)) {
        ys.push_back(row.Y);
        if (!row.Label.empty())
            labels.push_back(row.Label);
    }
    EXPECT_EQ(ys, (std::vector<int>{10, 40, 70, 100, 130, 160, 190, 220, 250}));
    EXPECT_EQ(labels, (std::vector<std::string>{"0", "-20", "-40", "-60", "-80"}));
}

TEST(DynamicsHistograms, BarsAreAsLongAsTheirCountsAndCutAtTheAreas) {
    const TRect hist = DynHistRect(kPaintWidth, kPaintHeight);
    EXPECT_EQ(InHistogramBar(kDyn, 0, 30), (TRect{330, 219, 332, 249}));
    EXPECT_EQ(InHistogramBar(kDyn, 80, 1024), (TRect{10, 10, 12, 249}));
    EXPECT_EQ(InHistogramBar(kDyn, 5, std::numeric_limits<int32_t>::max()).Top, 10);
    for (int32_t nothing : {0, -5, std::numeric_limits<int32_t>::min()}) {
        const TRect in = InHistogramBar(kDyn, 5, nothing);
        const TRect out = OutHistogramBar(hist, 5, nothing);
        EXPECT_GE(in.Top, in.Bottom) << nothing;
        EXPECT_GE(out.Left, out.Right) << nothing;
    }
    EXPECT_EQ(OutHistogramBar(hist, 2, 40), (TRect{343, 15, 383, 17}));
    EXPECT_EQ(OutHistogramBar(hist, 6, 1024).Right, hist.Right);
    EXPECT_EQ(OutHistogramBar(hist, 6, std::numeric_limits<int32_t>::max()).Right, hist.Right);
    EXPECT_TRUE(OutHistogramRowFits(hist, 80)); // all 81 bins fit the standard size
    EXPECT_FALSE(OutHistogramRowFits(hist, 81));
}

// ---- dynamics labels --------------------------------------------------------------------

TEST(DynamicsLabels, TextsKeepTheirTwoSpacesAndWholeRatiosLoseTheirDecimal) {
    const TDynValues start = InitialDynamics();
    EXPECT_EQ(ClipLabel(AmplitudeToDb(start.ClipThreshold)), "CLIP  -30.0 dBFS");
    EXPECT_EQ(GateLabel(AmplitudeToDb(start.GateThreshold)), "GATE  -55.0 dBFS");
    EXPECT_EQ(ComprLabel(1.0f), "COMPR  1:1");
    EXPECT_EQ(ComprLabel(3.0f), "COMPR  3:1");
    EXPECT_EQ(ComprLabel(2.5f), "COMPR  2.5:1");
    EXPECT_EQ(ComprLabel(15.0f), "COMPR  15:1");
    EXPECT_EQ(ComprLabel(1.6666666f), "COMPR  1.7:1");
}

TEST(DynamicsLabels, RatioLabelSitsBetweenThePointsOrLeftOfTheGateAtClipHeight) {
    const TCurvePoints p = CurvePoints(kDyn, InitialDynamics());
    EXPECT_EQ(ComprLabelPos(p, 80, 13), (TPoint{160 - 80 - 5, 65 - 6 - 5}));
    TCurvePoints flat = p;
    flat[2].Y = 33; // a steep ratio keeps the gate point close to the clip height
    EXPECT_EQ(ComprLabelPos(flat, 80, 13), (TPoint{110 - 80 - 7, 28}));
}

} // namespace
} // namespace sonari
