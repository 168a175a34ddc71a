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

#include <csignal>
#include <ostream>

namespace sonari::cli {

namespace {

constexpr const char* kUsage =
    "Usage: sonari-cli run --input DEV --output DEV [--profile P.ini] [--stats]\n";

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
  --stats          print the output figures of every 25 blocks (2.13 s) as they close

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
};

TRunOptions ParseRunOptions(const std::vector<std::string>& args) {
    const TArguments parsed =
        ParseArguments(args, {"--stats"}, {"--input", "--output", "--profile"});
    if (!parsed.Positional.empty())
        throw EUsageError("unexpected argument '" + parsed.Positional.front() + "'");
    TRunOptions options{parsed.Value("--input"), parsed.Value("--output"),
                        parsed.Value("--profile"), parsed.Has("--stats")};
    if (options.Input.empty() || options.Output.empty())
        throw EUsageError("both --input and --output are needed");
    return options;
}

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
    dsp.SetMode(dmProcess);
    const TStopSignals signals;
    dsp.StartDuplex();
    out << "Processing " << audio.DeviceName(selection.InputDeviceIndex) << " -> "
        << audio.DeviceName(selection.OutputDeviceIndex) << " at "
        << dsp.Stream().InputDevice().SamplingRate << " Hz. Ctrl+C stops.\n"
        << std::flush;

    if (RunLive(dsp, synchronizer, [&] { return signals.Raised(); }) == leStreamEnded) {
        err << "Streaming stopped: " << view.EndReason() << "\n";
        return 1;
    }
    out << "Stopped.\n";
    return 0;
}

} // namespace sonari::cli
