#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleView.h"
#include "cli/ProfileOption.h"
#include "engine/FileProcessor.h"
#include "engine/SliderScales.h"

#include <cstdio>
#include <ostream>

namespace sonari::cli {

namespace {

constexpr const char* kUsage = "Usage: sonari-cli process IN.wav OUT.wav [--profile P.ini] "
                               "[--float] [--stats]\n";

constexpr const char* kHelp = R"(
Runs the live-processing chain over a recording: decimation to 12000 samples/s, DC removal,
band-pass filter and equalizer, gate/compressor/clipper, interpolation back to the file's rate
with the output gain, and the output limiter.

IN.wav must run at 12000 * 2^k samples/s (12000, 24000, 48000, 96000, 192000 ...); its first
channel is processed. OUT.wav is mono at the same rate and exactly as long as IN.wav, the last
block padded with silence. The chain's delay is kept, as on the air, so the end of the input is
cut off by that much; the summary names it (it grows with the clipper and its overshoot
control). Float WAV files are read and written at +-1.0 full scale.

  --profile P.ini  equalizer, dynamics and output gain from a profile saved by Sonari
                   (without: equalizer on, gate/compressor/clipper off, output gain 0 dB)
  --float          write 32-bit float samples instead of 16-bit PCM
  --stats          print the output figures of every 25 blocks (2.13 s) as they close

At the end the output's r.m.s. and peak level and its peak factor are printed; with --stats
also the overshoot: how far the envelope of the processed signal at 12000 samples/s peaks above
the clip level (-6 dBFS), which the clipper's overshoot control holds at 0 dB.
)";

std::string Figure(long double value, const char* unit) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1Lf %s", value, unit);
    return text;
}

// With a sign always: "+0.2 dB", "-1.5 dB".
std::string SignedFigure(long double value, const char* unit) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1Lf %s", value, unit);
    return text;
}

void PrintSummary(const std::string& outName, bool isFloat, const TProcessSummary& summary,
                  long double latencyFrames, std::ostream& out) {
    out << outName << ": " << summary.SamplesPerSec << " Hz, "
        << (isFloat ? "32-bit float" : "16-bit PCM") << ", "
        << Figure(static_cast<long double>(summary.Frames) / summary.SamplesPerSec, "s")
        << ", delay " << Figure(1000 * latencyFrames / summary.SamplesPerSec, "ms") << "\n"
        << "Output: V r.m.s. = " << Figure(summary.RmsDbfs, "dBFS")
        << ", V peak = " << Figure(summary.PeakDbfs, "dBFS")
        << ", Peak Factor = " << Figure(summary.PeakFactorDb(), "dB");
    if (summary.OvershootDb)
        out << ", Overshoot = " << SignedFigure(*summary.OvershootDb, "dB");
    out << "\n";
    if (summary.LimitedBlocks > 0)
        out << "The output limiter clipped " << summary.LimitedBlocks << " of the blocks.\n";
}

} // namespace

int ProcessCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (WantsHelp(args)) {
        out << kUsage << kHelp;
        return 0;
    }
    TArguments parsed;
    try {
        parsed = ParseArguments(args, {"--float", "--stats"}, {"--profile"});
        if (parsed.Positional.size() != 2)
            throw EUsageError("expected IN.wav and OUT.wav");
    } catch (const EUsageError& e) {
        err << "sonari-cli process: " << e.what() << "\n" << kUsage;
        return 2;
    }
    const std::string& inName = parsed.Positional[0];
    const std::string& outName = parsed.Positional[1];
    const bool isFloat = parsed.Has("--float");

    const TProfile profile = ReadProfileOption(parsed.Value("--profile"), err);
    TConsoleView view(out, err);
    TFileProcessor processor(view);
    ApplyProfile(profile, processor.Equalizer());
    processor.Equalizer().SetAnalysisOn(parsed.Has("--stats"));
    processor.SetOutputGainDb(OutputGainDb(profile.OutputGain));
    const TProcessSummary summary = processor.Run(inName, outName, isFloat);
    PrintSummary(outName, isFloat, summary, processor.Latency(), out);
    return 0;
}

} // namespace sonari::cli
