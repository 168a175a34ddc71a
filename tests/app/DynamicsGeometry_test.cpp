#include "app/DynamicsGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace sonari {
namespace {

const TRect kDyn = DynPlotRect(276); // the standard paint box, 556 x 276

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

TEST(DynamicsGeometry, ClipAndGateStayInTheirRangesAndPushEachOther) {
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
}

TEST(DynamicsGeometry, GateHeightSetsTheRatioWithin1To15) {
    const TDynValues start = InitialDynamics();
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

} // namespace
} // namespace sonari
