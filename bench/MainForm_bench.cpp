#include "SND/WDM/Sim/SimDemo.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "app/MainForm.h"
#include "engine/SoundPaths.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace sonari {
namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kFrames = TDsp::kBlockSize * (kRate / TDsp::kProcessingRate);

// The main window over the demo devices, with its settings in a folder of its own, processing
// live (mode 6) block by block without a stream: the main thread's share of every block.
struct TBenchWindow {
    TBenchWindow() {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        auto platform = std::make_unique<TSimPlatform>(TSimPlatform::scManual);
        AddDemoDevices(*platform);
        audio = std::make_unique<TWdmAudio>(std::move(platform));
        form = std::make_unique<TMainForm>(*audio, sync, ProgramSoundFolders(""));
        form->Profiles().DynamicsSwitched(true); // the whole chain, dynamics included
        form->Launch();
        form->Dsp().SetLatencyMode(lmNormal); // whole blocks, as the window's figures count them
        form->Dsp().SetMode(dmProcess);
        form->Dsp().PrepareRun(kRate, kRate);
        const TSingleArray voice = BuiltInDemoVoice();
        for (int32_t i = 0; i < kFrames; ++i)
            in[0][i] = in[1][i] = voice[(i / (kRate / TDsp::kProcessingRate)) % voice.size()];
    }
    ~TBenchWindow() { form->Dsp().SetMode(dmStop); }

    QTemporaryDir config;
    TSynchronizer sync;
    std::unique_ptr<TWdmAudio> audio;
    std::unique_ptr<TMainForm> form;
    TDataBufferF in{2, TSingleArray(kFrames)};
    TDataBufferF out{2, TSingleArray(kFrames)};
};

// One block through the chain with the window's meters and invalidations, window shown or hidden
// in the tray (no analysis). Budget: 85.3 ms per block.
void BM_ProcessBlockThroughWindow(benchmark::State& state) {
    TBenchWindow bench;
    bench.form->Dsp().SetAnalysisOn(state.range(0) != 0);
    for (auto _ : state) {
        bench.form->Dsp().WdmData(bench.in, bench.out);
        bench.form->Dsp().DeliverReports();
        benchmark::DoNotOptimize(bench.out[0].data());
    }
}
BENCHMARK(BM_ProcessBlockThroughWindow)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Painting the whole window after a block, both editors included: what the event loop does when
// the engine has invalidated the displays.
void BM_RepaintWholeWindow(benchmark::State& state) {
    TBenchWindow bench;
    bench.form->Dsp().WdmData(bench.in, bench.out);
    bench.form->Dsp().DeliverReports();
    for (auto _ : state) {
        QPixmap shot = bench.form->grab();
        benchmark::DoNotOptimize(shot.cacheKey());
    }
}
BENCHMARK(BM_RepaintWholeWindow)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace sonari
