#include "SND/Exceptions.h"
#include "cli/Arguments.h"
#include "cli/AudioFiles.h"
#include "cli/Commands.h"
#include "cli/ConsoleView.h"
#include "cli/ProfileOption.h"
#include "cli/RateConversion.h"
#include "engine/FileProcessor.h"
#include "engine/SliderScales.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <system_error>

namespace sonari::cli {

namespace {

constexpr const char* kUsage = "Usage: sonari-cli process IN OUT [--profile P.ini] [--float] "
                               "[--stats] [--keep-delay] [--json]\n";

constexpr const char* kHelp = R"(
Runs the live-processing chain over a recording: decimation to 12000 samples/s, DC removal,
band-pass filter and equalizer, gate/compressor/clipper, interpolation back to the file's rate
with the output gain, and the output limiter.

IN and OUT are sound files of the type their names end in: .wav (Sonari's own reader and
writer), .flac, .ogg, .aiff, .au, .caf or .w64; the first channel of IN is processed and OUT is
mono at IN's rate. A rate that is not 12000 * 2^k (44100 Hz, say) is converted to the next
such rate above it for processing and back (libsoxr).

OUT is aligned with IN and exactly as long: the chain's delay is taken off its start and the
end of IN is flushed out with silence, so the two line up in an editor.

  --profile P.ini  equalizer, dynamics and output gain from a profile saved by Sonari
                   (without: equalizer on, gate/compressor/clipper off, output gain 0 dB)
  --float          write 32-bit float samples instead of 16-bit PCM (not in FLAC or Ogg)
  --stats          print the output figures of every 25 blocks (2.13 s) as they close
  --keep-delay     keep the chain's delay, as on the air: OUT starts with the filters' start
                   and the end of IN stays inside the chain
  --json           print the figures as JSON lines, one per window and one summary

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

// A JSON number with the text's one decimal.
std::string Number(long double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1Lf", value);
    return text;
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
            continue;
        }
        quoted += c;
    }
    return quoted + "\"";
}

struct TOutputFile {
    std::string Name;
    int32_t Rate = 0;
    bool IsFloat = false;
    std::string Format;
    long double DelayMs = 0; // kept in the file; 0 when aligned
};

void PrintSummary(const TOutputFile& file, const TProcessSummary& summary, std::ostream& out) {
    const long double seconds = static_cast<long double>(summary.Frames) / file.Rate;
    out << file.Name << ": " << file.Rate << " Hz, " << file.Format << ", " << Figure(seconds, "s")
        << ", " << (file.DelayMs > 0 ? "delay " + Figure(file.DelayMs, "ms") : "aligned") << "\n"
        << "Output: V r.m.s. = " << Figure(summary.RmsDbfs, "dBFS")
        << ", V peak = " << Figure(summary.PeakDbfs, "dBFS")
        << ", Peak Factor = " << Figure(summary.PeakFactorDb(), "dB");
    if (summary.OvershootDb)
        out << ", Overshoot = " << SignedFigure(*summary.OvershootDb, "dB");
    out << "\n";
    if (summary.LimitedBlocks > 0)
        out << "The output limiter clipped " << summary.LimitedBlocks << " of the blocks.\n";
}

void PrintJsonSummary(const TOutputFile& file, const TProcessSummary& summary, std::ostream& out) {
    const long double seconds = static_cast<long double>(summary.Frames) / file.Rate;
    out << "{\"file\": " << JsonString(file.Name) << ", \"rate\": " << file.Rate
        << ", \"format\": " << JsonString(file.Format) << ", \"seconds\": " << Number(seconds)
        << ", \"delay_ms\": " << Number(file.DelayMs)
        << ", \"rms_dbfs\": " << Number(summary.RmsDbfs)
        << ", \"peak_dbfs\": " << Number(summary.PeakDbfs)
        << ", \"peak_factor_db\": " << Number(summary.PeakFactorDb());
    if (summary.OvershootDb)
        out << ", \"overshoot_db\": " << Number(*summary.OvershootDb);
    out << ", \"limited_blocks\": " << summary.LimitedBlocks << "}\n";
}

// Writing the output over the input would destroy it before it is read.
void CheckDistinct(const std::string& inName, const std::string& outName) {
    std::error_code error;
    if (std::filesystem::equivalent(inName, outName, error))
        throw Exception("The output file " + outName + " is the input file");
}

// A temporary file beside the target that replaces it on Commit and is removed otherwise, so a
// failed run never costs the previous output.
class TPartFile {
public:
    explicit TPartFile(const std::string& target) : target_(target), name_(target + ".part") {}
    ~TPartFile() {
        if (!committed_) {
            std::error_code ignored;
            std::filesystem::remove(name_, ignored);
        }
    }
    const std::string& Name() const { return name_; }
    void Commit() {
        std::error_code error;
        std::filesystem::rename(name_, target_, error);
        if (error)
            throw Exception("Unable to write " + target_ + ": " + error.message());
        committed_ = true;
    }

private:
    std::string target_;
    std::string name_;
    bool committed_ = false;
};

} // namespace

int ProcessCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (WantsHelp(args)) {
        out << kUsage << kHelp;
        return 0;
    }
    TArguments parsed;
    try {
        parsed =
            ParseArguments(args, {"--float", "--stats", "--keep-delay", "--json"}, {"--profile"});
        if (parsed.Positional.size() != 2)
            throw EUsageError("expected IN and OUT");
    } catch (const EUsageError& e) {
        err << "sonari-cli process: " << e.what() << "\n" << kUsage;
        return 2;
    }
    const std::string& inName = parsed.Positional[0];
    const std::string& outName = parsed.Positional[1];
    const bool json = parsed.Has("--json");
    // Scripts reading JSON get nothing else on the output stream.
    std::ostream& notes = json ? err : out;

    const TProfile profile = ReadProfileOption(parsed.Value("--profile"), err);
    const std::unique_ptr<ISampleReader> file = OpenSampleReader(inName);
    const int32_t fileRate = file->Rate();
    const int32_t rate = ProcessingRateFor(fileRate);
    if (rate == 0 || fileRate <= 0)
        throw Exception(UnsupportedRateMessage(inName, static_cast<uint32_t>(fileRate)));
    CheckDistinct(inName, outName);

    const bool isFloat = parsed.Has("--float");
    TOutputFile output{outName, fileRate, isFloat, SampleFormatName(outName, isFloat), 0};
    TPartFile part(outName);
    const std::unique_ptr<ISampleWriter> writer =
        OpenSampleWriter(outName, part.Name(), fileRate, output.IsFloat);
    std::optional<TResamplingReader> resampledIn;
    std::optional<TResamplingWriter> resampledOut;
    ISampleReader* input = file.get();
    ISampleWriter* sink = writer.get();
    if (rate != fileRate) {
        notes << inName << " runs at " << fileRate << " Hz: processed at " << rate
              << " Hz and converted back.\n";
        input = &resampledIn.emplace(*file, rate);
        sink = &resampledOut.emplace(*writer, rate, fileRate, file->Frames());
    }

    TConsoleView view(out, err);
    view.Json = json;
    TFileProcessor processor(view);
    ApplyProfile(profile, processor.Equalizer());
    processor.Equalizer().SetAnalysisOn(parsed.Has("--stats"));
    processor.SetOutputGainDb(OutputGainDb(profile.OutputGain));
    const bool keepDelay = parsed.Has("--keep-delay");
    TProcessSummary summary = processor.Process(*input, *sink, keepDelay);
    part.Commit();
    summary.Frames = file->Frames();
    if (keepDelay)
        output.DelayMs = 1000 * static_cast<long double>(processor.Latency()) / rate;
    if (json)
        PrintJsonSummary(output, summary, out);
    else
        PrintSummary(output, summary, out);
    return 0;
}

} // namespace sonari::cli
