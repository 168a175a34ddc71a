#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleView.h"
#include "cli/DeviceArgument.h"
#include "cli/ProfileOption.h"
#include "engine/AudioSetup.h"
#include "engine/Dsp.h"
#include "engine/LiveRun.h"
#include "engine/SliderScales.h"
#include "settings/SettingsFile.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <thread>

namespace sonari::cli {

namespace {

constexpr const char* kUsage =
    "Usage: sonari-cli run --input DEV --output DEV [--profile P.ini] [--latency low|normal]\n"
    "                      [--stats]\n";

constexpr const char* kHelp = R"(
Processes the microphone live to the transmitter until interrupted (Ctrl+C, SIGINT or SIGTERM),
then stops cleanly and exits with status 0. The devices run at one rate of 12000 * 2^k
samples/s that both support.

  --input DEV      the microphone's device
  --output DEV     the device that feeds the transmitter
                   DEV is a device's number as 'sonari-cli devices' lists it, its key, or
                   its name with or without the number (letter case does not matter)
  --profile P.ini  equalizer, dynamics and output gain from a profile saved by Sonari
                   (without: equalizer on, gate/compressor/clipper off, output gain 0 dB)
  --latency MODE   low (the default): short blocks and device buffers, some tens of ms from
                   microphone to transmitter; normal: blocks of 1024 samples at 12 kHz
  --stats          print the output figures of every 25 blocks (2.13 s) as they close
  --stall-main MS  for measurements: block the main thread for MS ms every 2 s, as a busy
                   window would; the audio must not notice

Once the devices have reported their delays the estimated delay from microphone to
transmitter is printed; at the end, how often a device had to recover from an interruption
(xruns).

A stream that ends by itself (a device removed, a driver failure) is reported with its reason
and the exit status is 1.
SONARI_AUDIO=sim uses the simulated demo devices; SONARI_SIM_TX=FILE.wav then records what
the demo transmitter plays.
)";

volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void OnStopSignal(int signal) { gStopSignal = signal; }

// Catches SIGINT and SIGTERM while it exists.
class TStopSignals {
public:
    TStopSignals() {
        gStopSignal = 0;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~TStopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    bool Raised() const { return gStopSignal != 0; }

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

struct TRunOptions {
    std::string Input, Output, Profile;
    bool Stats = false;
    TLatencyMode Latency = lmLow;
    int StallMs = 0;
};

TLatencyMode ParseLatency(const std::string& value) {
    if (value.empty() || value == "low")
        return lmLow;
    if (value == "normal")
        return lmNormal;
    throw EUsageError("--latency takes 'low' or 'normal', not '" + value + "'");
}

TRunOptions ParseRunOptions(const std::vector<std::string>& args) {
    const TArguments parsed = ParseArguments(
        args, {"--stats"}, {"--input", "--output", "--profile", "--latency", "--stall-main"});
    if (!parsed.Positional.empty())
        throw EUsageError("unexpected argument '" + parsed.Positional.front() + "'");
    TRunOptions options{parsed.Value("--input"), parsed.Value("--output"),
                        parsed.Value("--profile"), parsed.Has("--stats"),
                        ParseLatency(parsed.Value("--latency"))};
    if (options.Input.empty() || options.Output.empty())
        throw EUsageError("both --input and --output are needed");
    if (const std::string stall = parsed.Value("--stall-main"); !stall.empty()) {
        const auto [end, error] =
            std::from_chars(stall.data(), stall.data() + stall.size(), options.StallMs);
        if (error != std::errc() || end != stall.data() + stall.size() || options.StallMs < 0 ||
            options.StallMs > 10000)
            throw EUsageError("--stall-main takes milliseconds from 0 to 10000");
    }
    return options;
}

// Blocks the calling thread for `ms` every 2 s.
class TMainStall {
public:
    explicit TMainStall(int ms) : ms_(ms) {}
    void Poll() {
        if (ms_ == 0 || std::chrono::steady_clock::now() < next_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms_));
        next_ += std::chrono::seconds(2);
    }

private:
    const int ms_;
    std::chrono::steady_clock::time_point next_ =
        std::chrono::steady_clock::now() + std::chrono::seconds(2);
};

// Once, as soon as the devices have reported their delays (they settle in the first second).
class TLatencyNote {
public:
    explicit TLatencyNote(const TDsp& dsp) : dsp_(dsp) {}
    void Poll(std::ostream& out) {
        if (shown_ || std::chrono::steady_clock::now() - started_ < std::chrono::seconds(1))
            return;
        const double ms = dsp_.LatencyEstimateMs();
        if (std::isnan(ms))
            return;
        char line[96];
        std::snprintf(line, sizeof line, "Latency from microphone to transmitter: about %.0f ms\n",
                      ms);
        out << line << std::flush;
        shown_ = true;
    }

private:
    const TDsp& dsp_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    bool shown_ = false;
};

} // namespace

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (WantsHelp(args)) {
        out << kUsage << kHelp;
        return 0;
    }
    TRunOptions options;
    try {
        options = ParseRunOptions(args);
    } catch (const EUsageError& e) {
        err << "sonari-cli run: " << e.what() << "\n" << kUsage;
        return 2;
    }

    // The user's sound folder is the desktop program's.
    SetProgramBaseName("sonari");
    const TSoundFolders folders = ProgramSoundFolders(SettingsFolder());
    TSynchronizer synchronizer;
    TProgramAudio programAudio = CreateProgramAudio(folders);
    for (const std::string& warning : programAudio.Warnings)
        err << warning << "\n";
    TWdmAudio audio(std::move(programAudio.Platform));
    if (!audio.Initialized()) {
        err << "No sound devices found.\n";
        return 1;
    }
    TDeviceSelection selection;
    selection.InputDeviceIndex = ResolveDevice(audio, options.Input, false);
    selection.OutputDeviceIndex = ResolveDevice(audio, options.Output, true);

    const TProfile profile = ReadProfileOption(options.Profile, err);
    TConsoleView view(out, err);
    TDsp dsp(audio, synchronizer, view, selection, folders);
    dsp.EditEqualizer([&](TMicEqualizer& equalizer) { ApplyProfile(profile, equalizer); });
    dsp.SetOutputGainDb(OutputGainDb(profile.OutputGain));
    // The statistics are the only display a console has.
    dsp.SetDisplaysVisible(options.Stats);
    dsp.SetLatencyMode(options.Latency);
    dsp.SetMode(dmProcess);
    const TStopSignals signals;
    dsp.StartDuplex();
    const TDeviceSettings& input = dsp.Stream().InputDevice();
    out << "Processing " << audio.DeviceName(selection.InputDeviceIndex) << " -> "
        << audio.DeviceName(selection.OutputDeviceIndex) << " at " << input.SamplingRate
        << " Hz in buffers of " << input.SamplesPerBuf << " frames. Ctrl+C stops.\n";
    const std::string& scheduling = dsp.Stream().Scheduling();
    out << "Real-time scheduling: " << (scheduling.empty() ? "not granted" : scheduling) << "\n"
        << std::flush;

    TLatencyNote latency(dsp);
    TMainStall stall(options.StallMs);
    const TLiveRunEnd end = RunLive(dsp, synchronizer, [&] {
        latency.Poll(out);
        stall.Poll();
        return signals.Raised();
    });
    if (end == leStreamEnded) {
        err << "Streaming stopped: " << view.EndReason() << "\n";
        return 1;
    }
    out << "Stopped. Xruns: " << dsp.Stream().XrunCount()
        << ", output blocks dropped: " << dsp.Stream().DroppedBlockCount() << "\n";
    return 0;
}

} // namespace sonari::cli
