#include "SND/WDM/Alsa/AlsaPlatform.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "SND/WDM/WdmStream.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/SoundServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>

// Real-time streaming through a real sound server: a private PulseAudio with two null sinks,
// reached through ALSA PCMs of the pulse plugin. No sound hardware is needed.

namespace sonari {
namespace {

using namespace std::chrono_literals;
using test::RunCommand;
using test::ShellQuote;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr int kFrames = 4096; // one 1024-sample block at 12 kHz
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.25; // of full scale
constexpr double kFullScale = 2147483648.0;

// ThreadSanitizer slows the instrumented streaming code several times over, so its run checks
// the threads and that the stream runs and stops; the real-time margins (the block rate, no
// xrun or dropped block once settled, the tone unbroken) are the optimized build's to check.
#if defined(__SANITIZE_THREAD__)
constexpr bool kChecksRealTimeMargins = false;
#else
constexpr bool kChecksRealTimeMargins = true;
#endif

// Two null sinks, the microphone's and the transmitter's, as ALSA devices.
std::unique_ptr<test::TScopedEnv> UseTestSinks(test::TSoundServer& server) {
    for (const std::string sink : {"sonari_mic", "sonari_tx"})
        server.Load("module-null-sink rate=48000 channels=1 sink_name=" + sink, sink);
    return server.UseInThisProcess(
        test::TSoundServer::PulsePcm("sonarimic", "sonari_mic.monitor", "Test microphone") +
        test::TSoundServer::PulsePcm("sonaritx", "sonari_tx", "Test transmitter"));
}

// Looked up by caption alone: nothing is opened before the stream itself.
int32_t DeviceNamed(const TWdmAudio& audio, const std::string& friendlyName) {
    for (int32_t i = 0; i < audio.DeviceCount(); ++i)
        if (audio.DeviceName(i).ends_with("  " + friendlyName))
            return i;
    return -1;
}

// The device list over ALSA and a duplex stream from the test microphone to the test
// transmitter that copies each block and notes when it came; started after the server, which
// sets the environment ALSA reads.
class AlsaThroughPulseAudio : public ::testing::Test {
protected:
    AlsaThroughPulseAudio() {
        stream.SetDirections(ddBoth);
        stream.SetInputDevice({DeviceNamed(audio, "Test microphone"), 1, 16, kRate, kFrames});
        stream.SetOutputDevice({DeviceNamed(audio, "Test transmitter"), 1, 16, kRate, kFrames});
        times.reserve(1000);
        stream.OnData = [this](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in,
                               TDataBufferF& out) {
            times.push_back(Clock::now());
            for (TSingleArray& channel : out)
                channel = in[0];
        };
        stream.OnStreamEnded = [this](const std::string& reason) { ended.push_back(reason); };
    }
    void SetUp() override { ASSERT_TRUE(audio.Initialized()); }

    // Serves the hand-over until `done` holds or `limit` has passed.
    template <typename F>
    void ServeUntil(std::chrono::milliseconds limit, F done) {
        for (const auto end = Clock::now() + limit; Clock::now() < end && !done();)
            sync.CheckSynchronize(10ms);
    }
    size_t Blocks() const { return times.size(); }

    test::TSoundServer server{test::TSoundServer::skPulseAudio};
    std::unique_ptr<test::TScopedEnv> env = UseTestSinks(server);
    TWdmAudio audio{std::make_unique<TAlsaPlatform>()};
    TSynchronizer sync;
    TWdmAudioStream stream{audio, sync};
    std::vector<Clock::time_point> times;
    std::vector<std::string> ended;
};

// A clean tone satisfies x[n] = 2 cos(w) x[n-1] - x[n-2] up to rounding: samples that break it
// show a dropped or repeated stretch. Also its r.m.s. level (of full scale) and the share of
// its power at the tone's frequency (Goertzel).
struct TToneCheck {
    size_t Breaks = 0;
    double Rms = 0, ToneShare = 0;
};

TToneCheck CheckTone(const TSingleArray& x, size_t first, size_t count) {
    const double c = 2 * std::cos(2 * std::numbers::pi * kToneHz / kRate);
    TToneCheck check;
    double s1 = 0, s2 = 0, total = 0;
    for (size_t n = first; n < first + count; ++n) {
        if (n >= first + 2)
            check.Breaks += std::fabs(x[n] - (c * x[n - 1] - x[n - 2])) > 0.01 * kFullScale;
        const double s = x[n] + c * s1 - s2;
        s2 = s1;
        s1 = s;
        total += double(x[n]) * x[n];
    }
    check.Rms = std::sqrt(total / count) / kFullScale;
    check.ToneShare = 2 * (s1 * s1 + s2 * s2 - c * s1 * s2) / (count * total);
    return check;
}

TEST_F(AlsaThroughPulseAudio, StreamsAToneFromOneSinkToTheOtherInRealTime) {
    const std::string tone = (server.Dir() / "tone.wav").string();
    const std::string recording = (server.Dir() / "recording.wav").string();
    test::WriteWav(tone, kRate,
                   {test::Sine(12 * kRate, kToneHz / kRate, kToneAmplitude * kFullScale)});
    // Low latencies keep the null sinks rendering in short steps: idle, they sleep for seconds.
    ASSERT_EQ(RunCommand("paplay -d sonari_mic --latency-msec=100 " + ShellQuote(tone) +
                         " >/dev/null 2>&1 &"),
              0);
    ASSERT_EQ(RunCommand("timeout -s INT 10 parecord -d sonari_tx.monitor --file-format=wav "
                         "--format=s16le --rate=48000 --channels=1 --latency-msec=100 " +
                         ShellQuote(recording) + " >/dev/null 2>&1 &"),
              0);
    const auto recordingEnds = Clock::now() + 10500ms;
    // Player and recorder connected before the stream starts: a client that connects later
    // changes the null sinks' latency under the running stream.
    const auto connected = [&] {
        std::string players, recorders;
        server.Pactl("list short sink-inputs", &players);
        server.Pactl("list short source-outputs", &recorders);
        return !players.empty() && !recorders.empty();
    };
    for (const auto end = Clock::now() + 5s; Clock::now() < end && !connected();)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(connected()) << "player or recorder did not connect";

    stream.Start();
    // A sound server may take a moment to deliver the first block; the rate counts from there.
    ServeUntil(5000ms, [&] { return Blocks() > 0; });
    ASSERT_GT(Blocks(), 0u) << "no block within 5 s";
    ServeUntil(1000ms, [] { return false; });
    const uint64_t settledXruns = stream.XrunCount();
    const size_t settled = Blocks();
    ServeUntil(5000ms, [] { return false; });
    const auto stopping = Clock::now();
    stream.Stop();
    const double stopMs =
        std::chrono::duration<double, std::milli>(Clock::now() - stopping).count();

    // over five seconds the jitter of single blocks hardly counts
    const double blocksPerSecond =
        double(Blocks() - 1 - settled) /
        std::chrono::duration<double>(times.back() - times[settled]).count();
    EXPECT_TRUE(ended.empty());
    EXPECT_GE(Blocks() - settled, 55u);
    EXPECT_LT(stopMs, 500.0);
    if (!kChecksRealTimeMargins)
        return;
    EXPECT_NEAR(blocksPerSecond, double(kRate) / kFrames, 0.01 * kRate / kFrames);
    EXPECT_EQ(stream.XrunCount(), settledXruns);
    EXPECT_EQ(stream.DroppedBlockCount(), 0u);

    // From a second after the tone appears (the server settles meanwhile) it must come through
    // sample for sample over four seconds: no gap, no jump, at its level.
    std::this_thread::sleep_until(recordingEnds);
    const TSingleArray x = test::ReadWav(recording).Channels.at(0);
    size_t onset = 0;
    while (onset < x.size() && std::fabs(x[onset]) < 6.5e7f)
        ++onset;
    const size_t begin = onset + kRate;
    const size_t stretch = 4 * kRate;
    ASSERT_LE(begin + stretch, x.size()) << "the recording holds no 5 s of tone";
    const TToneCheck check = CheckTone(x, begin, stretch);
    EXPECT_EQ(check.Breaks, 0u);
    EXPECT_NEAR(check.Rms, kToneAmplitude / std::sqrt(2.0), 0.001);
    EXPECT_GT(check.ToneShare, 0.9999);
}

TEST_F(AlsaThroughPulseAudio, AServerThatDiesEndsTheStreamAndSaysWhy) {
    stream.Start();
    ServeUntil(6000ms, [&] { return Blocks() > 5; });
    ASSERT_GT(Blocks(), 5u);
    server.Stop();
    ServeUntil(10000ms, [&] { return !ended.empty(); });
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_NE(ended[0].find("Test "), std::string::npos) << ended[0];
    EXPECT_FALSE(stream.Running());
    const auto stopping = Clock::now();
    stream.Stop();
    EXPECT_LT(Clock::now() - stopping, 500ms);
}

} // namespace
} // namespace sonari
