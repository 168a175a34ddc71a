#include "app/EqualizerGeometry.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace sonari {
namespace {

const TRect kEq = EqPlotRect(276); // the standard paint box, 556 x 276

int EqX(int column) { return kEq.Left + column; }

TEST(EqualizerGeometry, StandardPaintBoxGivesTheKnownPlotAndClampedLevels) {
    EXPECT_EQ(DbToY(kEq, 0.25), 50); // 0.5 -> 0
    EXPECT_EQ(DbToY(kEq, 0.75), 48); // 1.5 -> 2
    EXPECT_EQ(ClampedDbToY(kEq, 35), kEq.Top);
    EXPECT_EQ(ClampedDbToY(kEq, -std::numeric_limits<double>::infinity()), kEq.Bottom);
    EXPECT_EQ(ClampedDbToY(kEq, std::numeric_limits<double>::quiet_NaN()), kEq.Bottom);
    // Not clamped: a gain beyond the plot shows its handle beyond it.
    EXPECT_EQ(BandHandleRect(kEq, 0, 25.0f).Top, 10 + 40 - 50 - 3);
}

TEST(EqualizerGeometry, CutoffsStepBy5HzWithin50To500And50HzWithin1500To5700) {
    EXPECT_EQ(CutoffLoAt(kEq, kEq.Left - 300), 50);
    EXPECT_EQ(CutoffHiAt(kEq, kEq.Right + 10000), 5700);
    int previous = 0;
    for (int column = 0; column <= 512; ++column) {
        const double f = XToFreq(column);
        const bool low = f < 1000;
        const int hz = low ? CutoffLoAt(kEq, EqX(column)) : CutoffHiAt(kEq, EqX(column));
        const int step = low ? 5 : 50, lowest = low ? 50 : 1500, highest = low ? 500 : 5700;
        ASSERT_EQ(hz % step, 0) << column;
        ASSERT_GE(hz, previous) << column;
        if (f > lowest + step && f < highest - step) {
            ASSERT_LE(std::abs(hz - f), step / 2.0 + 0.5) << column;
        }
        previous = hz;
    }
}

TEST(EqualizerGeometry, TheNearestBandColumnWinsAndGainsStayWithin20Db) {
    EXPECT_EQ(BandAt(kEq, EqX(122)), 0); // 33 of 67 pixels towards band 1
    EXPECT_EQ(BandAt(kEq, EqX(123)), 1);
    for (int band = 0; band < kEqBandCount; ++band)
        EXPECT_EQ(BandAt(kEq, BandX(kEq, band)), band);
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 0), 20.0f);
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 91), -20.0f); // -20.5 limited
}

TEST(EqualizerGeometry, GainLabelsCarryASignOnlyAboveZeroAndAPointInEveryLocale) {
    EXPECT_EQ(BandGainLabel(3.5f), "+3.5 dB");
    EXPECT_EQ(BandGainLabel(-0.0f), "0.0 dB");
    EXPECT_EQ(BandGainLabel(-12.5f), "-12.5 dB");
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.utf8"))
        GTEST_SKIP() << "no German locale installed";
    EXPECT_EQ(BandGainLabel(-2.5f), "-2.5 dB");
    std::setlocale(LC_NUMERIC, old.c_str());
}

TEST(EqualizerGeometry, GridsLabelFiveFrequenciesAndTheLevelsDownToMinus100) {
    std::vector<int> labelled;
    for (const TFreqGridLine& line : EqFreqGrid())
        if (line.Labelled)
            labelled.push_back(line.Hz);
    EXPECT_EQ(labelled, (std::vector<int>{30, 100, 300, 1000, 3000}));

    std::vector<int> lineDb;
    std::vector<std::string> labels;
    for (const TLevelGridLine& line : EqLevelGrid(kEq)) {
        if (line.Line)
            lineDb.push_back(int(YToDb(kEq, line.Y)));
        if (!line.Label.empty())
            labels.push_back(line.Label);
    }
    EXPECT_EQ(lineDb, (std::vector<int>{10, 0, -10, -20, -30, -40, -50, -60, -70, -80, -90}));
    EXPECT_EQ(labels, (std::vector<std::string>{"0", "-20", "-40", "-60", "-80", "-100"}));
}

} // namespace
} // namespace sonari
