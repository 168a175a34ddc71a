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

struct TWindow : ISettingsHost {
    int32_t WindowLeft() const override { return 100; }
    int32_t WindowTop() const override { return 80; }
    void SetWindowPosition(int32_t, int32_t) override {}
    int32_t SoftGain() const override { return 20; }
    void SetSoftGain(int32_t) override {}
    bool SoftGainEnabled() const override { return true; }
    void SetSoftGainEnabled(bool) override {}
    float PlaybackVolume() const override { return 0.5f; }
    void SetPlaybackVolume(float) override {}
    float NoiseLevel() const override { return 0.25f; }
    void SetNoiseLevel(float) override {}
    void SetNoiseSnrDb(float) override {}
    std::string ProfileFileName() const override { return "/home/op/Prof/Contest.ini"; }
    void SetProfileFileName(const std::string&) override {}
    void SetToneMode(int32_t) override {}
    bool StartInTray() const override { return false; }
    void SetStartInTray(bool) override {}
    bool StartProcessing() const override { return false; }
    void SetStartProcessing(bool) override {}
};

struct TDevices : IDeviceList {
    int32_t DeviceCount() const override { return 1; }
    std::string DeviceName(int32_t) const override { return "01  USB Audio CODEC"; }
    int32_t IndexOfDevice(const std::string&) const override { return 0; }
};

// A save at exit: thirteen keys, each replacing the file on the disk (flushed) at once.
void BM_SaveSettings(benchmark::State& state) {
    std::string folder =
        (std::filesystem::temp_directory_path() / ("sonari-bench-" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/sonari.ini";
    TWindow window;
    TDevices devices;
    TDeviceSelection selection;
    for (auto _ : state)
        SaveSettings(file, window, devices, selection);
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_LookupInLargestFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace sonari
