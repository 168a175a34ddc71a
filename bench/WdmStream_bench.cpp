#include "SND/WDM/Sim/SimPlatform.h"
#include "SND/WDM/WdmStream.h"

#include <benchmark/benchmark.h>

namespace sonari {
namespace {

// One duplex block through the whole layer: device buffers, conversion both ways, the
// hand-over to the main thread and back. The simulated clock runs as fast as the layer follows,
// so the time per block is the layer's own cost (the budget is 85 ms per block).
void BM_DuplexBlock(benchmark::State& state) {
    const auto frames = static_cast<int32_t>(state.range(0));
    auto sim = std::make_unique<TSimPlatform>(TSimPlatform::scAccelerated);
    sim->AddDevice(SimDevice("Mic", {SimPin(false, 2, 24, 24, 48000, 48000)}));
    sim->AddDevice(SimDevice("Transmitter", {SimPin(true, 2, 16, 16, 48000, 48000)}));
    TWdmAudio audio(std::move(sim));
    TSynchronizer sync;
    TWdmAudioStream stream(audio, sync);
    stream.SetDirections(ddBoth);
    stream.SetInputDevice({0, 2, 24, 48000, frames});
    stream.SetOutputDevice({1, 2, 16, 48000, frames});
    int64_t handled = 0;
    stream.OnData = [&](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        out[0] = in[0];
        out[1] = in[1];
        ++handled;
    };
    stream.Start();
    for (auto _ : state) {
        const int64_t target = handled + 1;
        while (handled < target)
            sync.CheckSynchronize(std::chrono::milliseconds(10));
    }
    stream.Stop();
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()) * frames, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DuplexBlock)->Arg(64)->Arg(1024)->Arg(4096)->UseRealTime();

} // namespace
} // namespace sonari
