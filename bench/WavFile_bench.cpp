#include "SND/WavFile.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace sonari {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBlock = 1024; // one engine block

std::string ScratchFile(const char* name) {
    return (fs::temp_directory_path() /
            (std::string(name) + "-" + std::to_string(getpid()) + ".wav"))
        .string();
}

TDataBufferF Tone(size_t frames) {
    TDataBufferF data(1, TSingleArray(frames));
    for (size_t i = 0; i < frames; ++i)
        data[0][i] = std::round(float(1e9 * std::sin(0.05 * double(i))) / 65536.0f) * 65536.0f;
    return data;
}

void WriteFile(const std::string& path, uint32_t bytesPerSample, size_t blocks) {
    TKelWavFile wav;
    wav.SetFileName(path);
    wav.SetSamplesPerSec(12000);
    wav.SetBytesPerSample(bytesPerSample);
    wav.OpenWrite();
    const TDataBufferF block = Tone(kBlock);
    for (size_t b = 0; b < blocks; ++b)
        wav.Write(block);
    wav.Close();
}

// A 5-second recording, written block by block as the engine does.
void BM_WavWriteRecording(benchmark::State& state) {
    const std::string path = ScratchFile("sonari-bench-write");
    const uint32_t bytesPerSample = uint32_t(state.range(0));
    for (auto _ : state)
        WriteFile(path, bytesPerSample, 60);
    fs::remove(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * 60 * kBlock * bytesPerSample);
}

// A minute of sound read back in engine blocks, or in one call as the noise loader does.
void BM_WavReadMinute(benchmark::State& state) {
    const std::string path = ScratchFile("sonari-bench-read");
    const uint32_t bytesPerSample = uint32_t(state.range(0));
    const bool whole = state.range(1) != 0;
    WriteFile(path, bytesPerSample, 12000 * 60 / kBlock);
    TKelWavFile wav;
    wav.SetFileName(path);
    for (auto _ : state) {
        wav.OpenRead();
        if (whole) {
            benchmark::DoNotOptimize(wav.Read(wav.SampleCount()));
        } else {
            while (!wav.Read(kBlock)[0].empty())
                benchmark::ClobberMemory();
        }
        wav.Close();
    }
    fs::remove(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * (12000 * 60 / kBlock) * kBlock *
                            bytesPerSample);
    state.SetLabel(whole ? "one Read" : "1024-frame blocks");
}

BENCHMARK(BM_WavWriteRecording)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WavReadMinute)
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({3, 0})
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace sonari
