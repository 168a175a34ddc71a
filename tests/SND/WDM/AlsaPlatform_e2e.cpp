#include "SND/WDM/Alsa/AlsaPlatform.h"
#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "SND/WDM/WdmStream.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

// Real-time streaming through a real sound server: a private PulseAudio with two null sinks,
// reached through ALSA PCMs of the pulse plugin. No sound hardware is needed.

namespace sonari {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr int kFrames = 4096; // one 1024-sample block at 12 kHz

// Two null sinks, the microphone's and the transmitter's, as ALSA devices.
std::unique_ptr<test::TScopedEnv> UseTestSinks(test::TSoundServer& server) {
    for (const std::string sink : {"sonari_mic", "sonari_tx"})
        server.Load("module-null-sink rate=48000 channels=1 sink_name=" + sink, sink);
    return server.UseInThisProcess("pcm.sonarimic { type pulse; device \"sonari_mic.monitor\"; "
                                   "hint { show on; description \"Test microphone\" } }\n"
                                   "pcm.sonaritx { type pulse; device \"sonari_tx\"; "
                                   "hint { show on; description \"Test transmitter\" } }\n");
}

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

TEST_F(AlsaThroughPulseAudio, AServerThatDiesEndsTheStreamAndSaysWhy) {
    stream.Start();
    ServeUntil(6000ms, [&] { return Blocks() > 5; });
    ASSERT_GT(Blocks(), 5u);
    server.Stop();
    const auto killed = Clock::now();
    ServeUntil(10000ms, [&] { return !ended.empty(); });
    const double endMs = std::chrono::duration<double, std::milli>(Clock::now() - killed).count();
    std::printf("stream ended %.0f ms after the server died: %s\n", endMs,
                ended.empty() ? "(not at all)" : ended[0].c_str());
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_NE(ended[0].find("Test "), std::string::npos) << ended[0];
    EXPECT_FALSE(stream.Running());
    const auto stopping = Clock::now();
    stream.Stop();
    EXPECT_LT(Clock::now() - stopping, 500ms);
}

} // namespace
} // namespace sonari
