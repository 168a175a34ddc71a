#include "app/DynamicsEditor.h"
#include "app/EqualizerEditor.h"
#include "tests/app/EditorScene.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace sonari {
namespace {

using test::TEditorScene;

// A played scene, so every layer has something to draw.
struct TBenchScene {
    explicit TBenchScene(TDspMode mode) {
        scene.PlayVoice();
        scene.Mode = mode;
    }
    TEditorScene scene;
    // The format of the raster backing store the widgets paint into.
    QImage target{556, 276, QImage::Format_ARGB32_Premultiplied};
};

template <typename TEditor, typename TPaint>
void Paint(benchmark::State& state, TPaint paint) {
    TBenchScene bench(static_cast<TDspMode>(state.range(0)));
    TEditor editor(bench.scene.Context());
    for (auto _ : state) {
        QPainter painter(&bench.target);
        (editor.*paint)(painter);
        benchmark::DoNotOptimize(bench.target.constBits());
    }
}

void BM_PaintEqualizer(benchmark::State& state) {
    Paint<TEqualizerEditor>(state, &TEqualizerEditor::PaintBox1Paint);
}
BENCHMARK(BM_PaintEqualizer)->Arg(0)->Arg(2)->Arg(4)->Arg(6)->Unit(benchmark::kMicrosecond);

void BM_PaintDynamics(benchmark::State& state) {
    Paint<TDynamicsEditor>(state, &TDynamicsEditor::PaintBox2Paint);
}
BENCHMARK(BM_PaintDynamics)->Arg(0)->Arg(2)->Arg(4)->Arg(6)->Unit(benchmark::kMicrosecond);

// One mouse move while dragging on the equalizer page in mode 6: the new value, the rebuild
// of the equalizer and the repaint. Range 0: a band gain, 1: the high cut-off.
void BM_EqualizerDragStep(benchmark::State& state) {
    TBenchScene bench(dmProcess);
    TEqualizerEditor editor(bench.scene.Context());
    const bool cutoff = state.range(0) == 1;
    const int x0 = cutoff ? 10 + 400 : 10 + 356;
    const int y0 = cutoff ? 220 : 60;
    editor.PaintBoxMouseDown(x0, y0);
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 20; // every move changes the value
        editor.PaintBox1MouseMove(Qt::LeftButton, cutoff ? x0 + step : x0, cutoff ? y0 : y0 + step);
        QPainter painter(&bench.target);
        editor.PaintBox1Paint(painter);
    }
}
BENCHMARK(BM_EqualizerDragStep)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same on the dynamics page: the clip point follows the mouse, no rebuild needed.
void BM_DynamicsDragStep(benchmark::State& state) {
    TBenchScene bench(dmProcess);
    TDynamicsEditor editor(bench.scene.Context());
    {
        QPainter painter(&bench.target);
        editor.PaintBox2Paint(painter); // the curve points a press needs
    }
    editor.PaintBoxMouseDown({}, 210, 28);
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 20;
        editor.PaintBox2MouseMove(Qt::LeftButton, {}, 200 + step, 28);
        QPainter painter(&bench.target);
        editor.PaintBox2Paint(painter);
    }
}
BENCHMARK(BM_DynamicsDragStep)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace sonari
