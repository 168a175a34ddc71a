#include "settings/AppSettings.h"
#include "settings/IniText.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace sonari {
namespace {

// The worst a file may cost to read: the largest one accepted, made of lines that are all
// inspected, and the fifteen lookups of a profile load.
void BM_LookupInLargestFile(benchmark::State& state) {
    std::string text = "[Unknown]\n";
    while (text.size() < (size_t{1} << 20) - 64)
        text += "SomeKey=some value that nobody reads\n";
    text += "[Output]\nGain=0.5\n";
    TIniText ini(text);
    for (auto _ : state)
        for (int i = 0; i < 15; ++i)
            benchmark::DoNotOptimize(ini.Value("Output", "Gain"));
    state.SetBytesProcessed(int64_t(state.iterations()) * 15 * int64_t(text.size()));
}

// A save at exit: thirteen keys, each replacing the file on the disk (flushed) at once.
void BM_SaveSettings(benchmark::State& state) {
    std::string folder =
        (std::filesystem::temp_directory_path() / ("sonari-bench-" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/sonari.ini";
    TAppSettings settings;
    settings.InputDevice = settings.OutputDevice = "01  USB Audio CODEC";
    settings.LastProfile = "/home/op/Prof/Contest.ini";
    for (auto _ : state)
        SaveSettings(file, settings);
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_LookupInLargestFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace sonari
