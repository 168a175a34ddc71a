#include "app/EqualizerEditor.h"

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

// The standard plot: L = 10, T = 10, R = 523, B = 250; 0 dB on row 50, 2 pixels per dB.
constexpr int kL = 10, kT = 10, kR = 523, kB = 250;
const int kBandColumns[] = {89, 156, 223, 289, 356, 423, 490};

int ColumnX(int column) { return kL + column; }
int Row(double db) { return std::clamp(50 - int(std::nearbyint(2 * db)), kT, kB); }

TEqValues ValuesOf(const TMicEqualizer& eq) { return {eq.CutoffLo(), eq.CutoffHi(), eq.Bands()}; }

// An equalizer editor on the scene's data, shown on the offscreen screen, and the mouse.
class EqualizerEditor : public ::testing::Test {
protected:
    void SetUp() override { editor.show(); }
    QImage Render(const std::string& name) { return test::RenderForReview(editor, name); }

    TEditorScene scene;
    TEqualizerEditor editor{scene.Context()};
    test::TEditorMouse mouse{editor};
};

// ---- interaction ------------------------------------------------------------------------

TEST_F(EqualizerEditor, ChangesNothingOutsideModes4And6OrWithTheEqualizerOff) {
    const TEqValues start = ValuesOf(scene.Equalizer);
    const TSingleArray response = scene.Equalizer.Response();
    test::InEveryLockedState(
        scene.Mode, [&] { scene.Equalizer.SetEqualizerEnabled(false); },
        [&](TDspMode mode) {
            mouse.Drag({ColumnX(289), 43}, {ColumnX(289), 20});   // a band
            mouse.Drag({ColumnX(100), 200}, {ColumnX(300), 200}); // the low cut-off
            mouse.Drag({ColumnX(400), 200}, {ColumnX(500), 220}); // the high cut-off
            if (!IsEditMode(mode)) {
                EXPECT_EQ(editor.DragMode(), edNone) << "mode " << mode;
            }
        });
    EXPECT_EQ(ValuesOf(scene.Equalizer), start);
    EXPECT_EQ(scene.Equalizer.Response(), response);
    EXPECT_EQ(scene.Modified, 0);
}

TEST_F(EqualizerEditor, AClickWithoutMovementSetsABandOrACutoffAndRebuildsTheResponse) {
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
    reference.SetDataBlockSize(test::kSceneBlock);
    reference.SetBands(scene.Equalizer.Bands());
    reference.SetCutoffLo(500);
    reference.SetCutoffHi(1500);
    EXPECT_EQ(scene.Equalizer.Response(), reference.Response());
}

TEST_F(EqualizerEditor, ACutoffDragKeepsItsCutoffWhereAPressWouldTakeTheOtherOne) {
    scene.Mode = dmPlay;
    mouse.Press(ColumnX(223), 200);
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 300);
    mouse.MoveTo(-50, 200);
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 50);
    mouse.MoveTo(ColumnX(500), 200);
    EXPECT_EQ(scene.Equalizer.CutoffLo(), 500);
    EXPECT_EQ(scene.Equalizer.CutoffHi(), 2700);
    mouse.Release();
    EXPECT_EQ(scene.Modified, 3); // the press and every move
}

TEST_F(EqualizerEditor, OnlyTheLeftButtonDragsAndAPressOffThePlotDragsNothing) {
    scene.Mode = dmPlay;
    mouse.Press(ColumnX(289), 43, {}, Qt::RightButton); // a press of any button sets the value
    mouse.MoveTo(ColumnX(289), 20);
    mouse.Release();
    EXPECT_FLOAT_EQ(scene.Equalizer.Bands()[3], 3.5f);
    const TEqValues before = ValuesOf(scene.Equalizer);
    mouse.Drag({kR + 5, 43}, {ColumnX(289), 20}); // from right of the plot
    EXPECT_EQ(editor.DragMode(), edNone);
    EXPECT_EQ(ValuesOf(scene.Equalizer), before);
    EXPECT_EQ(scene.Modified, 1);
}

// ---- rendering --------------------------------------------------------------------------

class EqualizerEditorImage : public EqualizerEditor {
protected:
    void SetUp() override {
        EqualizerEditor::SetUp();
        scene.PlayVoice();
    }
};

// Checks the plot, column by column between two rows, against the layers: dark plot above the
// response, light below it, input bars (when drawn) from their tops down. Rows on or next to a
// curve or a grid line are left out.
void ExpectLayers(const QImage& image, const TEditorScene& s, bool bars, int rowTop,
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
        auto responseRow = [&](int k) { return Row(response[k]); };
        auto barRow = [&](int k) { return Row(in[k] + response[k]); };
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
    EXPECT_GT(checked[0], 1000);
    EXPECT_GT(checked[1], 1000);
    if (bars) {
        EXPECT_GT(checked[2], 1000);
    }
}

void ExpectHandles(const QImage& image, const TMicEqualizer& eq) {
    for (int i = 0; i < 7; ++i) {
        const int x = ColumnX(kBandColumns[i]);
        const int y = 50 - int(std::nearbyint(2 * eq.Bands()[i]));
        EXPECT_EQ(Pixel(image, x, y), kAqua) << "band " << i;
    }
    for (int column : {223, 435})
        EXPECT_EQ(Pixel(image, ColumnX(column), kB - 10), kYellow) << column;
}

TEST_F(EqualizerEditorImage, StoppedShowsTheScalesAndTheGainStepTheLiveInputAsAGreenLine) {
    for (TDspMode mode : {dmStop, dmAdjustGain}) {
        SCOPED_TRACE(mode);
        scene.Mode = mode;
        const QImage image = Render("equalizer-mode" + std::to_string(int{mode}));
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

TEST_F(EqualizerEditorImage, PlayingAndProcessingLayTheResponseAndTheOutputOverTheDarkPlot) {
    for (TDspMode mode : {dmPlay, dmProcess}) {
        SCOPED_TRACE(mode);
        scene.Mode = mode;
        const QImage image = Render("equalizer-mode" + std::to_string(int{mode}));
        EXPECT_EQ(Pixel(image, 20, 20), kPlotDark);
        // The long-term input as bars only while a recording plays.
        ExpectLayers(image, scene, mode == dmPlay, 70, kB - 17);
        ExpectHandles(image, scene.Equalizer);
        EXPECT_GT(CountColour(image, kRed, kL, kT, kR, kB), 300); // output line, clipper on
    }
}

TEST_F(EqualizerEditorImage, WithTheEqualizerOffThePlotStaysLightAndBarsShowTheRawInput) {
    scene.Mode = dmPlay;
    scene.Equalizer.SetEqualizerEnabled(false);
    scene.Equalizer.SetClipperEnabled(false);
    const QImage image = Render("equalizer-mode4-off");
    EXPECT_EQ(Pixel(image, 20, 20), kPlotLight);
    ExpectAbsent(image, {kPlotDark, kAqua, kYellow, kRed});
    int barTops = 0, checked = 0;
    for (int i = 1; i < 511; ++i) {
        const int top = Row(scene.InSpectrum().AverageDb()[i]);
        if (top < 80 || top > 220)
            continue;
        ++checked;
        barTops += Pixel(image, ColumnX(i), top + 2) == kInputBars &&
                   Pixel(image, ColumnX(i), top - 8) != kInputBars;
    }
    EXPECT_GT(checked, 100);
    EXPECT_GT(barTops, checked * 9 / 10);
    EXPECT_GT(CountColour(image, kGreen, kL, kT, kR, kB), 300); // output line, clipper off
}

} // namespace
} // namespace sonari
