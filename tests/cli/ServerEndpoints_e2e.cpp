#include "SND/WDM/DeviceChoice.h"
#include "SND/WDM/Platform/PlatformFactory.h"
#include "SND/WDM/WdmAudio.h"
#include "settings/AppSettings.h"
#include "tests/support/SoundServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <numbers>
#include <thread>

// The outputs and inputs of a real PipeWire and a real PulseAudio as Sonari's devices: listed by
// description, streamed to by name, ended when removed, and found again by key when their
// numbers change. Each case starts its own server with the endpoints a radio station has:
// "Speakers", the radio's "Radio-TX", and a microphone "Mic" fed with a tone.

namespace sonari {
namespace {

using namespace std::chrono_literals;
using test::ReadFileBytes;
using test::ShellQuote;
using test::TSoundServer;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.25; // of full scale

std::vector<int16_t> ReadRaw16(const std::filesystem::path& path) {
    const std::string bytes = ReadFileBytes(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Seconds of `x` louder than -30 dBFS.
double LoudSeconds(const std::vector<int16_t>& x) {
    return static_cast<double>(
               std::count_if(x.begin(), x.end(), [](int16_t s) { return std::abs(s) > 1036; })) /
           kRate;
}

struct TToneCheck {
    double Rms = 0;       // of full scale
    double ToneShare = 0; // of the power, at the tone's frequency (Goertzel)
};

TToneCheck CheckTone(const std::vector<int16_t>& x, size_t first, size_t count) {
    const double c = 2 * std::cos(2 * std::numbers::pi * kToneHz / kRate);
    double s1 = 0, s2 = 0, total = 0;
    for (size_t n = first; n < first + count; ++n) {
        const double s = x[n] + c * s1 - s2;
        s2 = s1;
        s1 = s;
        total += double(x[n]) * x[n];
    }
    return {std::sqrt(total / count) / 32767.0,
            2 * (s1 * s1 + s2 * s2 - c * s1 * s2) / (count * total)};
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
    std::string RawOptions() const {
        return " --raw --format=s16le --rate=48000 --channels=1 --latency-msec=100 ";
    }
    // The microphone speaks a steady tone for twenty seconds.
    std::unique_ptr<test::TChild> SpeakIntoTheMicrophone() const {
        std::vector<int16_t> samples(20 * kRate);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>(std::lround(
                kToneAmplitude * 32767.0 * std::sin(2 * std::numbers::pi * kToneHz * i / kRate)));
        test::WriteFileBytes(
            File("tone.raw"),
            std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2));
        return server->Spawn("paplay -d mic_feed" + RawOptions() + ShellQuote(File("tone.raw")));
    }
    // Records what an output plays into `name`.raw until SIGINT.
    std::unique_ptr<test::TChild> Record(const std::string& output) const {
        return server->Spawn("parecord -d " + output + ".monitor" + RawOptions() +
                             ShellQuote(File(output + ".raw")));
    }
    std::vector<int16_t> Recording(const std::string& output) const {
        return ReadRaw16(File(output + ".raw"));
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
    std::printf("%s: sonari-cli devices\n%s", server->Name(), out.c_str());

    // each device with its key and its one direction: outputs first, then inputs
    const auto entry = [&](const std::string& name, const std::string& key,
                           const std::string& direction) {
        return out.find("  " + name + "\n    key      " + key + "\n    " + direction +
                        "  up to 2 channels, 16-32 bits, 12000-192000 Hz\n");
    };
    const size_t speakers = entry("Speakers", "speakers", "render ");
    const size_t radioTx = entry("Radio-TX", "radio_tx", "render ");
    const size_t feed = entry("Mic-feed", "mic_feed", "render ");
    const size_t mic = entry("Mic", "mic", "capture");
    ASSERT_NE(mic, std::string::npos) << out;
    EXPECT_LT(speakers, radioTx) << out;
    EXPECT_LT(radioTx, feed);
    EXPECT_LT(feed, mic);
    EXPECT_EQ(out.find("Monitor of"), std::string::npos) << "a monitor is no microphone";
    const size_t server = out.find("PulseAudio Sound Server");
    ASSERT_NE(server, std::string::npos);
    EXPECT_LT(server, out.find("Speakers"));
}

TEST_P(ServerEndpoints, RunPutsTheMicrophoneOnTheRadioAndNothingOnTheSpeakers) {
    const auto tone = SpeakIntoTheMicrophone();
    const auto onRadio = Record("radio_tx");
    const auto onSpeakers = Record("speakers");
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
    const std::vector<int16_t> x = Recording("radio_tx");
    size_t onset = 0;
    while (onset < x.size() && std::abs(x[onset]) < 1000)
        ++onset;
    ASSERT_LE(onset + 5 * kRate / 2, x.size()) << "the tone did not reach the radio";
    int clean = 0;
    double rms = 0;
    for (size_t at = onset + kRate / 2; at < onset + 5 * kRate / 2; at += kRate / 10) {
        const TToneCheck check = CheckTone(x, at, kRate / 10);
        clean += check.ToneShare > 0.99;
        rms = std::max(rms, check.Rms);
    }
    std::printf("%s: on Radio-TX %.3f of full scale r.m.s., %d of 20 tenths clean tone\n",
                server->Name(), rms, clean);
    EXPECT_GT(rms, 0.1);
    EXPECT_GE(clean, 16);

    const std::vector<int16_t> speakers = Recording("speakers");
    EXPECT_GT(speakers.size(), size_t{kRate}) << "the speakers were not recorded";
    EXPECT_EQ(LoudSeconds(speakers), 0.0);
}

TEST_P(ServerEndpoints, UnloadingTheRadioEndsTheRunWithItsReasonAndStatusOne) {
    const auto tone = SpeakIntoTheMicrophone();
    const auto onSpeakers = Record("speakers");
    auto run = Cli("run --input Mic --output Radio-TX");
    ASSERT_TRUE(test::WaitForText(File("out.txt"), "Ctrl+C stops", 10s)) << Err();
    std::this_thread::sleep_for(2s);
    const auto unloaded = Clock::now();
    server->Unload(radio, "radio_tx");
    EXPECT_EQ(run->Wait(10s), 1);
    const double endMs = std::chrono::duration<double, std::milli>(Clock::now() - unloaded).count();
    std::this_thread::sleep_for(500ms);
    StopRecording(*onSpeakers);
    // The server moves the stream to the speakers before it reports the removal: what played
    // there meanwhile is the price of the guard's reaction time.
    const double leaked = LoudSeconds(Recording("speakers"));
    std::printf("%s: run ended %.0f ms after Radio-TX was unloaded; %.3f s reached the speakers\n",
                server->Name(), endMs, leaked);
    EXPECT_NE(Err().find("Streaming stopped: Radio-TX (playback): the device was removed"),
              std::string::npos)
        << Err();
    EXPECT_LT(endMs, 3000.0);
    EXPECT_LT(leaked, 0.3);
}

// Real servers' keys outlive their numbers: settings saved with the radio selected find it
// again after another output shifted the numbers, and not at all once it is gone.
TEST_P(ServerEndpoints, SavedDevicesAreFoundByKeyWhenNumbersShiftAndNamedWhenGone) {
    const auto environment = server->UseInThisProcess();
    TWdmAudio audio(CreateAudioPlatform());
    TDeviceSelection live(DevicesNamed(audio, "Mic", false).front(),
                          DevicesNamed(audio, "Radio-TX", true).front());
    TAppSettings saved;
    saved.InputDevice = audio.DeviceName(live.InputDeviceIndex);
    saved.InputDeviceId = audio.DeviceKey(live.InputDeviceIndex);
    saved.OutputDevice = audio.DeviceName(live.OutputDeviceIndex);
    saved.OutputDeviceId = audio.DeviceKey(live.OutputDeviceIndex);
    SaveSettings(File("sonari.ini"), saved);
    const auto loaded = [&] {
        TAppSettings s;
        LoadSettings(File("sonari.ini"), s);
        TDeviceSelection selection;
        SelectSavedDevices(audio, {s.InputDevice, s.InputDeviceId},
                           {s.OutputDevice, s.OutputDeviceId}, selection);
        return selection.OutputDeviceIndex;
    };

    // the radio switched off and on again, after another output came
    server->Unload(radio, "radio_tx");
    server->LoadSink("aux", "Aux");
    radio = server->LoadSink("radio_tx", "Radio-TX");
    RefreshDevices(audio, live);
    ASSERT_GE(live.OutputDeviceIndex, 0);
    EXPECT_EQ(audio.DeviceKey(live.OutputDeviceIndex), "radio_tx");
    EXPECT_NE(audio.DeviceName(live.OutputDeviceIndex), saved.OutputDevice) << "no shift";
    EXPECT_EQ(loaded(), live.OutputDeviceIndex);

    server->Unload(radio, "radio_tx");
    RefreshDevices(audio, live);
    EXPECT_EQ(live.OutputDeviceIndex, -1);
    EXPECT_EQ(MissingDeviceMessage(audio, live), "Sound device not found: Radio-TX");
    EXPECT_EQ(loaded(), -1);
}

// Without a server the list comes as fast as ever; a server that takes the connection and never
// answers costs the time limit, not a hang (ALSA's pulse plugin would wait for it for good).
TEST(NoSoundServer, DevicesComeAtOnceWithoutAServerAndWithinTheLimitFromASilentOne) {
    const test::TTempDir dir("sonari-silent");
    std::filesystem::create_directories(dir / "run");
    const test::TSilentServer silent(dir / "silent.sock");
    for (const std::string& server : {"unix:" + (dir / "run/none").string(), silent.Address()}) {
        const auto start = Clock::now();
        test::TChild cli({(test::BinaryDir() / "bin/sonari-cli").string(), "devices"},
                         {"PULSE_SERVER=" + server, "XDG_RUNTIME_DIR=" + (dir / "run").string(),
                          "HOME=" + dir.Path().string(), "DISPLAY="},
                         (dir / "out.txt").string(), (dir / "err.txt").string());
        const int status = cli.Wait(10s);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf("sonari-cli devices with %s: %.0f ms\n", server.c_str(), ms);
        EXPECT_TRUE(status == 0 || status == 1) << ReadFileBytes(dir / "err.txt");
        EXPECT_LT(ms, server.ends_with("silent.sock") ? 2500.0 : 800.0);
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
