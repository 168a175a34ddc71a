#include "app/EqualizerEditor.h"

#include "app/EditorCanvas.h"
#include "app/EqualizerGeometry.h"
#include "tests/app/EditorScene.h"
#include "tests/app/EditorTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace sonari::test {
namespace {

// The standard plot: L = 10, T = 10, R = 523, B = 250; 0 dB on row 50, 2 pixels per dB.
constexpr int kL = 10, kT = 10, kR = 523, kB = 250;
const int kBandColumns[] = {89, 156, 223, 289, 356, 423, 490};
const TRect kEq = EqPlotRect(276); // the standard paint box, 556 x 276

int ColumnX(int column) { return kL + column; }
int Row(double db) { return std::clamp(50 - int(std::nearbyint(2 * db)), kT, kB); }

TEqValues ValuesOf(const TMicEqualizer& eq) { return {eq.CutoffLo(), eq.CutoffHi(), eq.Bands()}; }

// An equalizer editor on the scene's data, shown on the offscreen screen, and the mouse.
class EqualizerEditor : public ::testing::Test {
protected:
    void SetUp() override { editor.show(); }

    TEditorScene scene;
    TEqualizerEditor editor{scene.Context()};
    TEditorMouse mouse{editor};
};

// ---- mapping ----------------------------------------------------------------------------

// The nearest band column wins and gains stay within 20 dB.
TEST(EqualizerGeometry, StandardPaintBoxGivesTheKnownPlotClampedLevelsAndTheNearestBand) {
    EXPECT_EQ(DbToY(kEq, 0.25), 50); // 0.5 -> 0
    EXPECT_EQ(DbToY(kEq, 0.75), 48); // 1.5 -> 2
    EXPECT_EQ(ClampedDbToY(kEq, 35), kEq.Top);
    EXPECT_EQ(ClampedDbToY(kEq, -std::numeric_limits<double>::infinity()), kEq.Bottom);
    EXPECT_EQ(ClampedDbToY(kEq, std::numeric_limits<double>::quiet_NaN()), kEq.Bottom);
    // Not clamped: a gain beyond the plot shows its handle beyond it.
    EXPECT_EQ(BandHandleRect(kEq, 0, 25.0f).Top, 10 + 40 - 50 - 3);
    EXPECT_EQ(BandAt(kEq, ColumnX(122)), 0); // 33 of 67 pixels towards band 1
    EXPECT_EQ(BandAt(kEq, ColumnX(123)), 1);
    for (int band = 0; band < kEqBandCount; ++band)
        EXPECT_EQ(BandAt(kEq, BandX(kEq, band)), band);
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 0), 20.0f);
    EXPECT_FLOAT_EQ(BandGainAt(kEq, 91), -20.0f); // -20.5 limited
}

TEST(EqualizerGeometry, CutoffsStepBy5HzWithin50To500And50HzWithin1500To5700) {
    EXPECT_EQ(CutoffLoAt(kEq, kEq.Left - 300), 50);
    EXPECT_EQ(CutoffHiAt(kEq, kEq.Right + 10000), 5700);
    int previous = 0;
    for (int column = 0; column <= 512; ++column) {
        const double f = XToFreq(column);
        const bool low = f < 1000;
        const int hz = low ? CutoffLoAt(kEq, ColumnX(column)) : CutoffHiAt(kEq, ColumnX(column));
        const int step = low ? 5 : 50, lowest = low ? 50 : 1500, highest = low ? 500 : 5700;
        ASSERT_EQ(hz % step, 0) << column;
        ASSERT_GE(hz, previous) << column;
        if (f > lowest + step && f < highest - step) {
            ASSERT_LE(std::abs(hz - f), step / 2.0 + 0.5) << column;
        }
        previous = hz;
    }
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

// ---- interaction ------------------------------------------------------------------------

TEST_F(EqualizerEditor, ChangesNothingOutsideModes4And6OrWithTheEqualizerOff) {
    const TEqValues start = ValuesOf(scene.Equalizer);
    const TSingleArray response = scene.Equalizer.Response();
    InEveryLockedState(
        scene.Mode, [&] { scene.Equalizer.SetEqualizerEnabled(false); },
        [&](TDspMode mode) {
            mouse.Drag({ColumnX(289), 43}, {ColumnX(289), 20});   // a band
            mouse.Drag({ColumnX(100), 200}, {ColumnX(300), 200}); // the low cut-off
            mouse.Drag({ColumnX(400), 200}, {ColumnX(500), 220}); // the high cut-off
            EXPECT_TRUE(IsEditMode(mode) || editor.DragMode() == edNone) << "mode " << mode;
        });
    EXPECT_EQ(ValuesOf(scene.Equalizer), start);
    EXPECT_EQ(scene.Equalizer.Response(), response);
    EXPECT_EQ(scene.Modified, 0);
}

// A cut-off drag keeps its cut-off where a press would take the other one. A press of any
// button sets the value, but only the left button drags; a press off the plot drags nothing.
TEST_F(EqualizerEditor, AClickSetsABandOrACutoffAndOnlyTheLeftButtonDragsItsCutoff) {
    scene.Mode = dmProcess;
    mouse.Click(ColumnX(289), 43); // 7 pixels above the 0 dB line at the 600 Hz column
    EXPECT_FLOAT_EQ(scene.Equalizer.Bands()[3], 3.5f);
    mouse.Click(ColumnX(100), 200); // 84.4 Hz -> 84 -> 85 Hz
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 85);
    // The exact middle row still belongs to the lower half: 991 Hz drags the low cut-off.
    mouse.Click(ColumnX(338), (kT + kB) / 2);
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 500);
    mouse.Click(ColumnX(339), (kT + kB) / 2);
    EXPECT_EQ(scene.Equalizer.CutoffHi(), 1500);
    EXPECT_EQ(scene.Modified, 4);
    TMicEqualizer reference;
    reference.SetDataBlockSize(kSceneBlock);
    reference.SetBands(scene.Equalizer.Bands());
    reference.SetCutoffLo(500);
    reference.SetCutoffHi(1500);
    EXPECT_EQ(scene.Equalizer.Response(), reference.Response());

    scene.Mode = dmPlay;
    mouse.Press(ColumnX(223), 200);
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 300);
    mouse.MoveTo(-50, 200);
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 50);
    mouse.MoveTo(ColumnX(500), 200);
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 500);
    EXPECT_EQ(scene.Equalizer.CutoffHi(), 1500);
    mouse.Release();
    EXPECT_EQ(scene.Modified, 7); // the press and every move

    mouse.Press(ColumnX(289), 53, {}, Qt::RightButton); // 3 pixels below the 0 dB line
    mouse.MoveTo(ColumnX(289), 20);
    mouse.Release();
    EXPECT_FLOAT_EQ(scene.Equalizer.Bands()[3], -1.5f);
    const TEqValues before = ValuesOf(scene.Equalizer);
    mouse.Drag({kR + 5, 43}, {ColumnX(289), 20}); // from right of the plot
    EXPECT_EQ(editor.DragMode(), edNone);
    EXPECT_EQ(ValuesOf(scene.Equalizer), before);
    EXPECT_EQ(scene.Modified, 8);
}

// ---- rendering --------------------------------------------------------------------------

// Checks the plot, column by column between two rows, against the layers: dark plot above the
// response (with the equalizer on), light below it, input bars (when drawn) from their tops down,
// equalized when the equalizer is on. Rows on or next to a curve or a grid line are left out.
void ExpectLayers(const QImage& image, const TEditorScene& s, bool on, bool bars, int rowTop,
                  int rowBottom) {
    const TSingleArray& response = s.Equalizer.Response();
    const TSingleArray& in = s.InSpectrum().AverageDb();
    const TSingleArray& out = s.OutSpectrum().SpectrumDb();
    int checked[3] = {}, wrong = 0;
    std::ostringstream firstWrong;
    for (int i = 1; i + 1 < 512; ++i) {
        if (i == 116 || i == 223 || i == 339 || i == 445)
            continue; // a vertical grid line
        auto near = [&](auto rowOf, int y) {
            const int a = rowOf(i - 1), b = rowOf(i), c = rowOf(i + 1);
            return y >= std::min({a, b, c}) - 1 && y <= std::max({a, b, c}) + 1;
        };
        auto responseRow = [&](int k) { return on ? Row(response[k]) : kT - 2; };
        auto barRow = [&](int k) { return Row(in[k] + (on ? response[k] : 0)); };
        auto outRow = [&](int k) { return Row(out[k]); };
        for (int y = rowTop; y < rowBottom; ++y) {
            if ((y - kT) % 20 == 0 || near(responseRow, y) || near(outRow, y) ||
                (bars && near(barRow, y)))
                continue;
            const int cls = y < responseRow(i) ? 0 : bars && y > barRow(i) ? 2 : 1;
            const QRgb expected = cls == 0 ? kPlotDark : cls == 1 ? kPlotLight : kInputBars;
            ++checked[cls];
            if (Pixel(image, ColumnX(i), y) != expected && wrong++ == 0)
                firstWrong << "column " << i << " row " << y;
        }
    }
    EXPECT_EQ(wrong, 0) << "first at " << firstWrong.str();
    EXPECT_TRUE(!on || checked[0] > 1000) << checked[0];
    EXPECT_GT(checked[1], 1000);
    if (bars) {
        EXPECT_GT(checked[2], 1000);
    }
}

// Stopped only the scales; the gain step adds the live input as a green line; playing and
// processing lay the response and the output over the dark plot. With the equalizer and the
// clipper off the plot stays light, the bars show the raw input and the output line is green.
TEST_F(EqualizerEditor, EachModeShowsItsLayers) {
    scene.PlayVoice();
    struct TCase {
        TDspMode Mode;
        bool On;
    };
    for (const auto [mode, on] :
         {TCase{dmStop, true}, TCase{dmAdjustGain, true}, TCase{dmPlay, true},
          TCase{dmProcess, true}, TCase{dmPlay, false}}) {
        SCOPED_TRACE(mode * 10 + on);
        scene.Mode = mode;
        scene.Equalizer.SetEqualizerEnabled(on);
        scene.Equalizer.SetClipperEnabled(on);
        const QImage image = Render(editor);
        if (IsEditMode(mode)) {
            EXPECT_EQ(Pixel(image, 20, 20), on ? kPlotDark : kPlotLight);
            // The long-term input as bars only while a recording plays.
            ExpectLayers(image, scene, on, mode == dmPlay, 70, kB - 17);
            EXPECT_GT(CountColour(image, on ? kRed : kGreen, kL, kT, kR, kB), 300); // output line
            if (!on) {
                ExpectAbsent(image, {kPlotDark, kAqua, kYellow, kRed});
                continue;
            }
            for (int i = 0; i < 7; ++i) // the band handles
                EXPECT_EQ(Pixel(image, ColumnX(kBandColumns[i]), Row(scene.Equalizer.Bands()[i])),
                          kAqua)
                    << "band " << i;
            for (int column : {223, 435}) // the cut-off handles
                EXPECT_EQ(Pixel(image, ColumnX(column), kB - 10), kYellow) << column;
            continue;
        }
        EXPECT_EQ(Pixel(image, 20, 20), kPlotLight);
        ExpectAbsent(image, {kPlotDark, kInputBars, kRed, kAqua, kYellow});
        if (mode == dmStop) {
            ExpectAbsent(image, {kGreen});
            continue;
        }
        int onLine = 0;
        for (int i = 0; i < 512; ++i)
            onLine += Pixel(image, ColumnX(i), Row(scene.InSpectrum().SpectrumDb()[i])) == kGreen;
        EXPECT_GT(onLine, 480);
    }
}

} // namespace
} // namespace sonari::test
