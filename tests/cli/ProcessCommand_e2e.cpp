#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace sonari {
namespace {

using test::ReadWav;
using test::TTempDir;

// Speech made with espeak-ng and brought to 48 kHz with sox, and a profile with the clipper on,
// once for all cases.
class ProcessCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TTempDir>("sonari-process");
        ASSERT_TRUE(test::HaveProgram("espeak-ng")) << "espeak-ng is needed";
        ASSERT_TRUE(test::HaveProgram("sox")) << "sox is needed";
        const std::string raw = test::ShellQuote(Name("speech22k.wav"));
        ASSERT_EQ(test::RunCommand("espeak-ng -w " + raw +
                                   " 'CQ CQ CQ, this is a test of the transmit audio processor. "
                                   "Please copy, and give me a signal report. Over.' && sox " +
                                   raw + " -r 48000 " + test::ShellQuote(Speech())),
                  0);
        test::WriteFileBytes(Name("clipper.ini"), "[Clipper]\nEnabled=1\n");
    }

    static std::string Cli() { return (test::BinaryDir() / "bin/sonari-cli").string(); }
    static std::string Name(const std::string& name) { return (*dir_ / name).string(); }
    static std::string Speech() { return Name("speech48k.wav"); }

    static test::TProgramRun Process(std::vector<std::string> args) {
        args.insert(args.begin(), {Cli(), "process"});
        return test::RunProgram(args);
    }

    static inline std::unique_ptr<TTempDir> dir_; // removed with the program's statics
};

// The "Peak Factor = X dB" figure of the summary line; NaN without one.
double PeakFactorOf(const std::string& out) {
    const size_t at = out.find("Peak Factor = ", out.find("Output: V r.m.s. = "));
    return at == std::string::npos ? std::nan("") : std::stod(out.substr(at + 14));
}

TEST_F(ProcessCommand, BadInputsAreClearErrors) {
    test::WriteWav(Name("fast.wav"), 800000, {TSingleArray(1000, 0.0f)});
    test::WriteFileBytes(Name("broken.flac"), "fLaC but nothing else");
    const struct {
        std::vector<std::string> Args;
        int Status;
        std::string Error;
    } cases[] = {
        {{Name("fast.wav"), Name("x.wav")}, 1, "Unsupported sampling rate 800000 Hz"},
        {{Name("broken.flac"), Name("x.wav")}, 1, "broken.flac: "},
        {{Speech(), Name("x.mp3")}, 1, "unknown output format '.mp3'"},
        {{Speech(), Name("x.flac"), "--float"}, 1, "hold no float samples"},
        {{Speech()}, 2, "Usage: sonari-cli process"},
        {{Speech(), Name("x.wav"), "--loud"}, 2, "unknown option '--loud'"},
    };
    for (const auto& c : cases) {
        const test::TProgramRun run = Process(c.Args);
        EXPECT_EQ(run.Status, c.Status) << c.Error;
        EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(Name("x.wav")));
}

// Whatever the rate, the output lines up with the input sample for sample: an impulse and the
// end of a tone burst come out where they went in, and the output is exactly as long and at the
// input's rate. 44.1 kHz runs at 48 kHz and is converted back; the chain itself is the file
// processor's unit tests'.
TEST_F(ProcessCommand, OutputIsAlignedWithTheInputAtEveryRate) {
    for (const uint32_t rate : {12000u, 44100u, 48000u, 96000u}) {
        SCOPED_TRACE(rate);
        const size_t frames = rate + 123, at = frames / 3, burst = frames - rate / 10;
        TSingleArray in(frames, 0.0f);
        in[at] = 0.5f;
        const TSingleArray tone = test::Sine(frames, 1000.0L / rate, 0.25L);
        std::copy(tone.begin() + long(burst), tone.end(), in.begin() + long(burst));
        test::WriteWav(Name("burst.wav"), rate, {in}, 4, true);
        const test::TProgramRun run = Process({Name("burst.wav"), Name("aligned.wav"), "--float"});
        ASSERT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out.find("runs at 44100 Hz: processed at 48000 Hz and converted back") !=
                      std::string::npos,
                  rate == 44100)
            << run.Out;
        const test::TWavContents wav = ReadWav(Name("aligned.wav"));
        EXPECT_EQ(wav.Rate, rate);
        const TSingleArray& out = wav.Channels[0];
        ASSERT_EQ(out.size(), frames);
        const auto first = out.begin(), half = out.begin() + long(frames / 2);
        const auto loudest = std::max_element(
            first, half, [](float a, float b) { return std::fabs(a) < std::fabs(b); });
        EXPECT_NEAR(double(loudest - first), double(at), rate % 12000 ? 1 : 0);
        // the burst's last 10 ms are there
        const size_t last = rate / 100;
        EXPECT_NEAR(test::FittedAmplitude(out, 1000.0L / rate, frames - last, last), 0.25L, 0.02L);
        EXPECT_LT(test::Peak(out, burst - rate / 50, rate / 100), 0.01f); // and nothing before it
    }
}

// FLAC through libsndfile gives the very samples WAV gives through Sonari's own component.
TEST_F(ProcessCommand, FlacInAndOutEqualsWavInAndOut) {
    const std::string wav16 = Name("speech16.wav"), flac = Name("speech.flac");
    ASSERT_EQ(test::RunCommand("sox " + test::ShellQuote(Speech()) + " -b 16 " +
                               test::ShellQuote(wav16) + " && sox " + test::ShellQuote(wav16) +
                               " " + test::ShellQuote(flac)),
              0);
    ASSERT_EQ(Process({wav16, Name("viaWav.wav"), "--profile", Name("clipper.ini")}).Status, 0);
    ASSERT_EQ(Process({flac, Name("viaFlac.flac"), "--profile", Name("clipper.ini")}).Status, 0);
    ASSERT_EQ(test::RunCommand("sox " + test::ShellQuote(Name("viaFlac.flac")) + " " +
                               test::ShellQuote(Name("fromFlac.wav"))),
              0);
    const test::TWavContents viaWav = ReadWav(Name("viaWav.wav"));
    EXPECT_EQ(ReadWav(Name("fromFlac.wav")).Channels[0], viaWav.Channels[0]);
    EXPECT_FALSE(viaWav.IsFloat);
    EXPECT_GT(test::Peak(viaWav.Channels[0]), 1e8f); // of 2^31
}

// --json says in JSON lines what the text says: each window and the summary. A profile's clipper
// lowers the peak factor; values it cannot use are named, and the rest of it still applies.
TEST_F(ProcessCommand, JsonLinesCarryTheFiguresOfTheTextAndTheProfileApplies) {
    const test::TProgramRun text = Process({Speech(), Name("t.wav"), "--stats", "--float"});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_TRUE(ReadWav(Name("t.wav")).IsFloat);
    const test::TProgramRun json = Process({Speech(), Name("j.wav"), "--stats", "--json"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    test::WriteFileBytes(Name("lines.json"), json.Out);
    // every line is a JSON object; the figures printed as the text prints them
    const std::string check =
        "import json, sys\n"
        "for o in map(json.loads, open(sys.argv[1])):\n"
        "    print('%8.1f s  V r.m.s. = %d dBFS  V peak = %d dBFS  Peak Factor = %d dB' % "
        "(o['window_end_s'], o['rms_dbfs'], o['peak_dbfs'], o['peak_factor_db']) if 'window_end_s' "
        "in o else 'Output: V r.m.s. = %.1f dBFS, V peak = %.1f dBFS, Peak Factor = %.1f dB, "
        "Overshoot = %+.1f dB' % (o['rms_dbfs'], o['peak_dbfs'], o['peak_factor_db'], "
        "o['overshoot_db']))\n";
    const test::TProgramRun fromJson =
        test::RunProgram({"/usr/bin/python3", "-c", check, Name("lines.json")});
    ASSERT_EQ(fromJson.Status, 0) << fromJson.Err << json.Out;
    std::string expected;
    for (size_t from = 0, to; (to = text.Out.find('\n', from)) != std::string::npos; from = to + 1)
        if (text.Out.compare(from, Name("t.wav").size(), Name("t.wav")) != 0) // no JSON twin
            expected += text.Out.substr(from, to - from + 1);
    EXPECT_EQ(fromJson.Out, expected);

    test::WriteFileBytes(Name("damaged.ini"),
                         "[Clipper]\nEnabled=1\nClipThreshold=nan\n[Equalizer]\nBand2=250\n");
    const test::TProgramRun clipped =
        Process({Speech(), Name("clipped.wav"), "--profile", Name("damaged.ini")});
    ASSERT_EQ(clipped.Status, 0) << clipped.Err;
    EXPECT_EQ(clipped.Err, "Ignored [Equalizer] Band2=250: beyond +-120 dB\n"
                           "Ignored [Clipper] ClipThreshold=nan: not a number\n");
    EXPECT_LT(PeakFactorOf(clipped.Out) + 4, PeakFactorOf(text.Out)) << text.Out << clipped.Out;
    EXPECT_NE(clipped.Out.find("clipped.wav: 48000 Hz, 16-bit PCM, 7.6 s, aligned"),
              std::string::npos)
        << clipped.Out;
}

TEST_F(ProcessCommand, ThirtyMinutesRunInTheMemoryOfOne) {
    const double seconds = test::WavFrames(Speech()) / 48000.0;
    long rssKb[2] = {};
    for (int minutes : {1, 30}) {
        const std::string input = Name("long.wav");
        const int repeats = static_cast<int>(std::ceil(60 * minutes / seconds));
        ASSERT_EQ(test::RunCommand("sox " + test::ShellQuote(Speech()) + " " +
                                   test::ShellQuote(input) + " repeat " + std::to_string(repeats)),
                  0);
        test::TChild child({Cli(), "process", input, Name("processed.wav"), "--stats", "--profile",
                            Name("clipper.ini")},
                           {}, Name("out.txt"), Name("err.txt"));
        ASSERT_EQ(child.Wait(), 0) << test::ReadFileBytes(Name("err.txt"));
        rssKb[minutes > 1] = child.MaxRssKb();
        EXPECT_EQ(test::WavFrames(Name("processed.wav")), test::WavFrames(input));
    }
    EXPECT_GE(test::WavFrames(Name("long.wav")), 1800u * 48000);
    EXPECT_LT(rssKb[1] - rssKb[0], 2048)
        << rssKb[0] << " KiB for 1 min, " << rssKb[1] << " KiB for 30 min";
}

} // namespace
} // namespace sonari
