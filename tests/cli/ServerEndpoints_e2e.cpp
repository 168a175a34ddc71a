#include "SND/WDM/DeviceChoice.h"
#include "SND/WDM/Platform/PlatformFactory.h"
#include "SND/WDM/WdmAudio.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>
#include <tuple>

// The outputs and inputs of a real PipeWire and a real PulseAudio as Sonari's devices: listed by
// description, streamed to by name, ended when removed, and found again by key when their
// numbers change. Each case starts its own server with the endpoints a radio station has:
// "Speakers", the radio's "Radio-TX", and a microphone "Mic" fed with a tone.

namespace sonari {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::ReadFileBytes;
using test::ShellQuote;
using test::TSoundServer;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.25; // of full scale

// Seconds of `x` louder than -30 dBFS (of 2^31).
double LoudSeconds(const TSingleArray& x) {
    return double(
               std::count_if(x.begin(), x.end(), [](float s) { return std::fabs(s) > 6.8e7f; })) /
           kRate;
}

class ServerEndpoints : public ::testing::TestWithParam<TSoundServer::TKind> {
protected:
    void SetUp() override {
        server = std::make_unique<TSoundServer>(GetParam());
        server->LoadSink("speakers", "Speakers");
        radio = server->LoadSink("radio_tx", "Radio-TX");
        server->LoadSink("mic_feed", "Mic-feed");
        server->Load("module-remap-source master=mic_feed.monitor source_name=mic "
                     "source_properties=device.description=Mic",
                     "mic");
    }

    std::string File(const std::string& name) const { return (server->Dir() / name).string(); }

    std::unique_ptr<test::TChild> Cli(const std::string& args) const {
        return server->Spawn(ShellQuote((test::BinaryDir() / "bin/sonari-cli").string()) + " " +
                                 args,
                             File("out.txt"), File("err.txt"));
    }
    std::string Out() const { return ReadFileBytes(File("out.txt")); }
    std::string Err() const { return ReadFileBytes(File("err.txt")); }

    // Short latencies keep null sinks rendering in short steps: idle, they sleep for seconds.
    // The microphone speaks a steady tone for twenty seconds.
    std::unique_ptr<test::TChild> SpeakIntoTheMicrophone() const {
        test::WriteWav(File("tone.wav"), kRate,
                       {test::Sine(20 * kRate, kToneHz / kRate, kToneAmplitude * 2147483648.0L)});
        return server->Spawn("paplay -d mic_feed --latency-msec=100 " +
                             ShellQuote(File("tone.wav")));
    }
    // Records what an output plays into `name`.wav until SIGINT.
    std::unique_ptr<test::TChild> Record(const std::string& output, const std::string& name) const {
        return server->Spawn("parecord -d " + output +
                             ".monitor --file-format=wav --format=s16le --rate=48000 "
                             "--channels=1 --latency-msec=100 " +
                             ShellQuote(File(name + ".wav")));
    }
    // The recording at the scale of the chain's samples (2^31).
    TSingleArray Recording(const std::string& name) const {
        return test::ReadWav(File(name + ".wav")).Channels.at(0);
    }
    static void StopRecording(test::TChild& recorder) {
        recorder.Signal(SIGINT);
        recorder.Wait(5s);
    }

    std::unique_ptr<TSoundServer> server;
    std::string radio; // the module of "Radio-TX"
};

TEST_P(ServerEndpoints, DevicesListsEveryOutputAndInputByDescriptionAfterTheServerItself) {
    auto cli = Cli("devices");
    ASSERT_EQ(cli->Wait(10s), 0) << Err();
    const std::string out = Out();

    // after the server itself, each device with its key and its one direction: outputs first,
    // then inputs
    size_t last = out.find("PulseAudio Sound Server");
    ASSERT_NE(last, std::string::npos) << out;
    for (const auto& [name, key, direction] : {std::tuple{"Speakers", "speakers", "render "},
                                               {"Radio-TX", "radio_tx", "render "},
                                               {"Mic-feed", "mic_feed", "render "},
                                               {"Mic", "mic", "capture"}}) {
        const size_t at = out.find("  "s + name + "\n    key      " + key + "\n    " + direction +
                                   "  up to 2 channels, 16-32 bits, 12000-192000 Hz\n");
        ASSERT_NE(at, std::string::npos) << name << "\n" << out;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    EXPECT_EQ(out.find("Monitor of"), std::string::npos) << "a monitor is no microphone";
    // the server's own PCM converts like its endpoints, and is not opened to be listed
    EXPECT_NE(out.find("PulseAudio Sound Server\n    key      pulse\n"
                       "    capture  up to 2 channels, 16-32 bits, 12000-192000 Hz\n"
                       "    render   up to 2 channels, 16-32 bits, 12000-192000 Hz\n"),
              std::string::npos)
        << out;
}

// Real servers' keys outlive their numbers: the radio as the settings keep it is found again after
// another output shifted the numbers. A run puts the microphone on it and nothing on the
// speakers; it ends by Ctrl+C with status 0, or by the radio's removal with status 1 and the
// reason, after which the radio is named as missing and found nowhere.
TEST_P(ServerEndpoints, TheRadioIsFoundByKeyFedByARunAndNamedWhenGone) {
    const auto environment = server->UseInThisProcess();
    TWdmAudio audio(CreateAudioPlatform());
    TDeviceSelection live(DevicesNamed(audio, "Mic", false).front(),
                          DevicesNamed(audio, "Radio-TX", true).front());
    const TSavedDevice saved = SavedDevice(audio, live.OutputDeviceIndex);
    // the radio switched off and on again, after another output came
    server->Unload(radio, "radio_tx");
    server->LoadSink("aux", "Aux");
    radio = server->LoadSink("radio_tx", "Radio-TX");
    RefreshDevices(audio, live);
    ASSERT_GE(live.OutputDeviceIndex, 0);
    EXPECT_EQ(audio.DeviceKey(live.OutputDeviceIndex), "radio_tx");
    EXPECT_NE(audio.DeviceName(live.OutputDeviceIndex), saved.Caption) << "no shift";
    EXPECT_EQ(FindSavedDevice(audio, saved, true), live.OutputDeviceIndex);

    const auto tone = SpeakIntoTheMicrophone();
    const auto onRadio = Record("radio_tx", "radio");
    const auto onSpeakers = Record("speakers", "speakers");
    auto run = Cli("run --input Mic --output radio_tx");
    ASSERT_TRUE(test::WaitForText(File("out.txt"), "Ctrl+C stops", 10s)) << Err();
    std::this_thread::sleep_for(5s);
    run->Signal(SIGINT);
    EXPECT_EQ(run->Wait(10s), 0) << Err();
    StopRecording(*onRadio);
    StopRecording(*onSpeakers);
    const std::string out = Out();
    const size_t arrow = out.find("  Mic -> "); // then the radio's number
    ASSERT_NE(arrow, std::string::npos) << out;
    EXPECT_EQ(out.compare(arrow + 11, 10, "  Radio-TX"), 0) << out;

    // From half a second after the tone arrives, two seconds of it in tenths: on a busy
    // machine a tenth may hold a dropout (the streaming tests watch for those), the rest is the
    // tone at its level.
    const TSingleArray x = Recording("radio");
    const size_t onset = static_cast<size_t>(
        std::find_if(x.begin(), x.end(), [](float s) { return std::fabs(s) > 6.5e7f; }) -
        x.begin());
    ASSERT_LE(onset + 5 * kRate / 2, x.size()) << "the tone did not reach the radio";
    int clean = 0;
    double rms = 0;
    for (size_t at = onset + kRate / 2; at < onset + 5 * kRate / 2; at += kRate / 10) {
        double power = 0; // mean square
        for (size_t n = at; n < at + kRate / 10; ++n)
            power += double(x[n]) * x[n] / (kRate / 10);
        const long double tone = test::FittedAmplitude(x, kToneHz / kRate, at, kRate / 10);
        clean += tone * tone / 2 > 0.99 * power;
        rms = std::max(rms, std::sqrt(power) / 2147483648.0);
    }
    EXPECT_GT(rms, 0.1);
    EXPECT_GE(clean, 16);
    // The recorders ask for 100 ms, so PipeWire runs the radio in 42.7-ms steps: the run rides
    // on them without dropping blocks (one is left to a stall of the host). PulseAudio's null
    // sink first plays out what it rendered ahead while idle, and blocks are dropped meanwhile.
    const std::string droppedLabel = "output blocks dropped: ";
    const size_t dropped = out.find(droppedLabel);
    ASSERT_NE(dropped, std::string::npos) << out;
    if (GetParam() == TSoundServer::skPipeWire) {
        EXPECT_LE(std::stoi(out.substr(dropped + droppedLabel.size())), 1) << out;
    }
    const TSingleArray speakers = Recording("speakers");
    EXPECT_GT(speakers.size(), size_t{kRate}) << "the speakers were not recorded";
    EXPECT_EQ(LoudSeconds(speakers), 0.0);

    const auto afterwards = Record("speakers", "leak");
    std::filesystem::remove(File("out.txt"));
    run = Cli("run --input Mic --output Radio-TX");
    ASSERT_TRUE(test::WaitForText(File("out.txt"), "Ctrl+C stops", 10s)) << Err();
    std::this_thread::sleep_for(2s);
    const auto unloaded = Clock::now();
    server->Unload(radio, "radio_tx");
    EXPECT_EQ(run->Wait(10s), 1);
    const double endMs = std::chrono::duration<double, std::milli>(Clock::now() - unloaded).count();
    std::this_thread::sleep_for(500ms);
    StopRecording(*afterwards);
    // The server moves the stream to the speakers before it reports the removal: what played
    // there meanwhile is the price of the guard's reaction time.
    const double leaked = LoudSeconds(Recording("leak"));
    EXPECT_NE(Err().find("Streaming stopped: Radio-TX (playback): the device was removed"),
              std::string::npos)
        << Err();
    EXPECT_LT(endMs, 3000.0);
    EXPECT_LT(leaked, 0.3);
    RefreshDevices(audio, live);
    EXPECT_EQ(live.OutputDeviceIndex, -1);
    EXPECT_EQ(MissingDeviceMessage(audio, live), "Sound device not found: Radio-TX");
    EXPECT_EQ(FindSavedDevice(audio, saved, true), -1);
}

// Without a server the list comes as fast as ever; a server that takes the connection and never
// answers costs the time limit, not a hang (ALSA's pulse plugin would wait for it for good).
TEST(NoSoundServer, DevicesComeAtOnceWithoutAServerAndWithinTheLimitFromASilentOne) {
    const test::TTempDir dir("sonari-silent");
    std::filesystem::create_directories(dir / "run");
    const test::TSilentServer silent(dir / "silent.sock");
    for (const std::string& server : {"unix:" + (dir / "run/none").string(), silent.Address()}) {
        const auto start = Clock::now();
        const test::TProgramRun cli =
            test::RunProgram({(test::BinaryDir() / "bin/sonari-cli").string(), "devices"},
                             {"PULSE_SERVER=" + server, "XDG_RUNTIME_DIR=" + (dir / "run").string(),
                              "HOME=" + dir.Path().string(), "DISPLAY="},
                             10s);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        EXPECT_TRUE(cli.Status == 0 || cli.Status == 1) << cli.Err;
        EXPECT_LT(ms, server.ends_with("silent.sock") ? 2500.0 : 800.0) << server;
    }
}

INSTANTIATE_TEST_SUITE_P(, ServerEndpoints,
                         ::testing::Values(TSoundServer::skPipeWire, TSoundServer::skPulseAudio),
                         [](const auto& info) {
                             return info.param == TSoundServer::skPipeWire ? "PipeWire"
                                                                           : "PulseAudio";
                         });

} // namespace
} // namespace sonari
