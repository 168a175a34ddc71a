#include "SND/WDM/DeviceChoice.h"
#include "SND/WDM/Platform/PlatformFactory.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "engine/Dsp.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <thread>

// Live processing through a real sound server, end to end: a private PulseAudio whose stereo
// null sink "bench" carries the microphone in its left channel and, through a one-channel
// remap, what the engine plays in its right one. One recording of its monitor holds input and
// output side by side, sample-aligned by the server.

namespace sonari {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;

std::unique_ptr<test::TScopedEnv> UseBench(test::TSoundServer& server) {
    server.Load("module-null-sink sink_name=bench rate=48000 channels=2 "
                "channel_map=front-left,front-right",
                "bench");
    // one channel each: the microphone's left, the transmitter's right
    for (const std::string side : {"left", "right"}) {
        const std::string name = side == "left" ? "bench_mic_in" : "bench_tx";
        server.Load("module-remap-sink sink_name=" + name + " master=bench channels=1 " +
                        "master_channel_map=front-" + side + " channel_map=mono remix=no",
                    name);
    }
    return server.UseInThisProcess(
        test::TSoundServer::PulsePcm("benchmic", "bench.monitor", "Bench microphone") +
        test::TSoundServer::PulsePcm("benchtx", "bench_tx", "Bench transmitter"));
}

// The test signal at 48 kHz on the 32-bit scale: a second of silence, 3 s of steady noise in
// 500-2000 Hz (the start is measured in it), half a second of silence, then bursts of that noise,
// 30 ms long every 300 ms (the delay is measured at their onsets).
struct TSignal {
    TSingleArray Samples;
    static constexpr size_t kNoiseStart = kRate, kNoiseEnd = 4 * kRate;
    static constexpr size_t kBurstsStart = kNoiseEnd + kRate / 2;
    static constexpr int kBursts = 16;
    static constexpr size_t kBurstEvery = kRate * 3 / 10, kBurstLength = kRate * 3 / 100;

    TSignal() : Samples(kBurstsStart + kBursts * kBurstEvery + kRate) {
        // random-phase tones every 25 Hz: noise whose band the processor passes unchanged, of
        // the r.m.s. value of 61 unit tones
        std::mt19937 random(15);
        std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi);
        std::vector<double> noise(Samples.size(), 0.0);
        for (double f = 500; f <= 2000; f += 25) {
            const double p = phase(random);
            for (size_t n = 0; n < noise.size(); ++n)
                noise[n] += std::sin(2 * std::numbers::pi * f * n / kRate + p);
        }
        const double gain = 0.16 * 0x1p31 / std::sqrt(61 / 2.0);
        for (size_t n = kNoiseStart; n < kNoiseEnd; ++n)
            Samples[n] = static_cast<float>(noise[n] * gain);
        for (int b = 0; b < kBursts; ++b)
            for (size_t i = 0; i < kBurstLength; ++i) {
                const size_t n = kBurstsStart + b * kBurstEvery + i;
                const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / kBurstLength);
                Samples[n] = static_cast<float>(noise[n] * gain * hann);
            }
    }
};

// The clock time of the first frame of a recording, from how its file grows over 600 ms: late by
// at most the recorder's 5 ms fragments (less the quarter millisecond its header counts for), so
// times measured from it are upper bounds.
Clock::time_point FirstFrameTime(const std::filesystem::path& file) {
    Clock::time_point first = Clock::time_point::max();
    for (const auto end = Clock::now() + 600ms; Clock::now() < end;
         std::this_thread::sleep_for(2ms)) {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(file, error);
        if (!error && bytes > 0)
            first = std::min(first, Clock::now() -
                                        std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(bytes / 4.0 / kRate)));
    }
    return first;
}

// The lag in frames (0 .. 250 ms) at which the output best matches 50 ms of input around
// `onset`, or -1 where they do not match (the server resamples, so not sample for sample).
int LagAt(const std::vector<float>& in, const std::vector<float>& out, size_t onset) {
    const size_t span = kRate / 20, most = kRate / 4, first = onset - kRate / 100;
    if (first + span + most > out.size())
        return -1;
    double best = 0, inEnergy = 0;
    int lag = -1;
    for (size_t i = 0; i < span; ++i)
        inEnergy += double(in[first + i]) * in[first + i];
    for (size_t l = 0; l < most; ++l) {
        double c = 0, outEnergy = 0;
        for (size_t i = 0; i < span; ++i) {
            c += double(in[first + i]) * out[first + l + i];
            outEnergy += double(out[first + l + i]) * out[first + l + i];
        }
        const double r = c / std::sqrt(inEnergy * outEnergy + 1e-30);
        if (r > best) {
            best = r;
            lag = static_cast<int>(l);
        }
    }
    return best > 0.5 ? lag : -1;
}

// Measured here (bench/latency.py, the same layout): about 49 ms from microphone to transmitter
// at the low latency setting and 100 ms from the start to the first output; the bounds are
// twice the delay and a second, so a busy machine does not fail the test.
TEST(LiveLatency, LowLatencyProcessingStartsAtOnceAndStaysShortThroughPulseAudio) {
    test::TSoundServer server(test::TSoundServer::skPulseAudio);
    const auto env = UseBench(server);
    const auto dir = server.Dir();
    // An idle null sink renders nothing for its monitor: silence keeps the bench sink running.
    test::TChild keeper({"pacat", "--playback", "-d", "bench", "--raw", "--format=s16le",
                         "--rate=48000", "--channels=2", "--latency-msec=10", "/dev/zero"});
    ASSERT_TRUE(keeper.Started());
    std::this_thread::sleep_for(2500ms);

    const TSignal signal;
    test::WriteWav((dir / "signal.wav").string(), kRate, {signal.Samples});
    test::TChild recorder({"parecord", "-d", "bench.monitor", "--file-format=wav", "--format=s16le",
                           "--rate=48000", "--channels=2", "--latency-msec=5",
                           (dir / "bench.wav").string()});
    ASSERT_TRUE(recorder.Started());
    const Clock::time_point zero = FirstFrameTime(dir / "bench.wav");
    test::TChild player(
        {"paplay", "-d", "bench_mic_in", "--latency-msec=20", (dir / "signal.wav").string()});
    ASSERT_TRUE(player.Started());
    std::this_thread::sleep_for(2000ms); // the noise plays

    TSynchronizer sync;
    TWdmAudio audio(CreateAudioPlatform());
    ASSERT_TRUE(audio.Initialized());
    const TDeviceSelection selection{DevicesNamed(audio, "Bench microphone", false).at(0),
                                     DevicesNamed(audio, "Bench transmitter", true).at(0)};
    TSilentDspView view;
    TDsp dsp(audio, sync, view, selection, {});
    dsp.SetLatencyMode(lmLow);
    dsp.SetMode(dmProcess);
    const auto started = Clock::now();
    dsp.StartDuplex();
    double estimateMs = NAN;
    while (Clock::now() < started + 7s) {
        sync.CheckSynchronize(20ms);
        dsp.DeliverReports();
        if (Clock::now() > started + 2s && std::isnan(estimateMs))
            estimateMs = dsp.LatencyEstimateMs();
    }
    ASSERT_TRUE(dsp.Running());
    dsp.Stop();
    player.Wait(5s);
    recorder.Signal(SIGINT);
    recorder.Wait(5s);
    const test::TWavContents bench = test::ReadWav((dir / "bench.wav").string());
    const TSingleArray &in = bench.Channels.at(0), &out = bench.Channels.at(1);

    // start: the first output above a third of the noise's level
    const double noise = std::inner_product(in.begin(), in.end(), in.begin(), 0.0);
    const size_t noiseFrames = TSignal::kNoiseEnd - TSignal::kNoiseStart;
    const float threshold = static_cast<float>(std::sqrt(noise / noiseFrames) / 3);
    const auto first =
        std::find_if(out.begin(), out.end(), [&](float x) { return std::fabs(x) > threshold; });
    ASSERT_NE(first, out.end()) << "nothing came out";
    const double startMs = std::chrono::duration<double, std::milli>(zero - started).count() +
                           1000.0 * double(first - out.begin()) / kRate;

    // delay: at each burst's onset in the input (after the noise)
    std::vector<double> lags;
    const auto noiseAt =
        std::find_if(in.begin(), in.end(), [](float x) { return std::fabs(x) > 0.01f * 0x1p31f; });
    const size_t bursts = static_cast<size_t>(noiseAt - in.begin()) + TSignal::kBurstsStart -
                          TSignal::kNoiseStart - kRate / 50;
    for (size_t n = bursts; n < in.size(); ++n) {
        if (std::fabs(in[n]) < 0.01f * 0x1p31f)
            continue;
        if (const int lag = LagAt(in, out, n); lag >= 0)
            lags.push_back(lag * 1000.0 / kRate);
        n += TSignal::kBurstEvery / 2;
    }
    std::nth_element(lags.begin(), lags.begin() + long(lags.size() / 2), lags.end());
    const double latencyMs = lags.empty() ? NAN : lags[lags.size() / 2]; // the median
    EXPECT_GE(lags.size(), TSignal::kBursts * 3u / 4)
        << dsp.Stream().XrunCount() << " xruns, " << dsp.Stream().Scheduling();
    EXPECT_LE(startMs, 1000.0);
    EXPECT_GT(startMs, 0.0);
    EXPECT_LE(latencyMs, 98.0);
    EXPECT_GE(latencyMs, 32.0); // the chain's own delay: nothing can be faster
    EXPECT_NEAR(estimateMs, latencyMs, 25.0);
}

} // namespace
} // namespace sonari
