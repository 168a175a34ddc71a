#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

using test::ReadWav;
using test::TTempDir;

// Speech made with espeak-ng and brought to 48 kHz with sox, once for all cases.
class ProcessCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TTempDir("sonari-process");
        ASSERT_TRUE(test::HaveProgram("espeak-ng")) << "espeak-ng is needed";
        ASSERT_TRUE(test::HaveProgram("sox")) << "sox is needed";
        const std::string raw = Name("speech22k.wav");
        ASSERT_EQ(test::RunCommand("espeak-ng -w " + test::ShellQuote(raw) +
                                   " 'CQ CQ CQ, this is a test of the transmit audio processor. "
                                   "Please copy, and give me a signal report. Over.'"),
                  0);
        ASSERT_EQ(test::RunCommand("sox " + test::ShellQuote(raw) + " -r 48000 " +
                                   test::ShellQuote(Speech())),
                  0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static std::string Cli() { return (test::BinaryDir() / "bin/sonari-cli").string(); }
    static std::string Name(const std::string& name) { return (*dir_ / name).string(); }
    static std::string Speech() { return Name("speech48k.wav"); }
    static std::string ClipperProfile() {
        test::WriteFileBytes(Name("clipper.ini"), "[Clipper]\nEnabled=1\n");
        return Name("clipper.ini");
    }

    // Runs sonari-cli process; returns the exit status, with stdout and stderr.
    static int Process(const std::vector<std::string>& args, std::string* out = nullptr,
                       std::string* err = nullptr) {
        std::vector<std::string> argv = {Cli(), "process"};
        argv.insert(argv.end(), args.begin(), args.end());
        test::TChild child(argv, {}, Name("out.txt"), Name("err.txt"));
        const int status = child.Wait();
        if (out)
            *out = test::ReadFileBytes(Name("out.txt"));
        if (err)
            *err = test::ReadFileBytes(Name("err.txt"));
        return status;
    }

    static TTempDir* dir_;
};

TTempDir* ProcessCommand::dir_ = nullptr;

// The "Peak Factor = X dB" figure of the summary line.
double PeakFactorOf(const std::string& summary) {
    const std::string key = "Output: V r.m.s. = ";
    const size_t line = summary.find(key);
    const size_t figure = summary.find("Peak Factor = ", line);
    EXPECT_NE(figure, std::string::npos) << summary;
    return figure == std::string::npos ? 0 : std::stod(summary.substr(figure + 14));
}

// Values the profile cannot use are named, and the rest of it still applies.
TEST_F(ProcessCommand, ClipperLowersThePeakFactorAndIgnoredProfileValuesAreNamed) {
    std::string plain, clipped, err;
    ASSERT_EQ(Process({Speech(), Name("plain.wav")}, &plain), 0);
    test::WriteFileBytes(Name("damaged.ini"),
                         "[Clipper]\nEnabled=1\nClipThreshold=nan\n[Equalizer]\nBand2=250\n");
    ASSERT_EQ(
        Process({Speech(), Name("clipped.wav"), "--profile", Name("damaged.ini")}, &clipped, &err),
        0);
    EXPECT_EQ(err, "Ignored [Equalizer] Band2=250: beyond +-120 dB\n"
                   "Ignored [Clipper] ClipThreshold=nan: not a number\n");
    EXPECT_LT(PeakFactorOf(clipped) + 4, PeakFactorOf(plain)) << plain << clipped;
    EXPECT_NE(clipped.find("clipped.wav: 48000 Hz, 16-bit PCM, 7.6 s, aligned"), std::string::npos)
        << clipped;
}

TEST_F(ProcessCommand, BadInputsAreClearErrors) {
    std::string err;
    test::WriteWav(Name("fast.wav"), 800000, {TSingleArray(1000, 0.0f)});
    EXPECT_EQ(Process({Name("fast.wav"), Name("x.wav")}, nullptr, &err), 1);
    EXPECT_NE(err.find("Unsupported sampling rate 800000 Hz"), std::string::npos) << err;
    test::WriteFileBytes(Name("broken.flac"), "fLaC but nothing else");
    EXPECT_EQ(Process({Name("broken.flac"), Name("x.wav")}, nullptr, &err), 1);
    EXPECT_NE(err.find("broken.flac: "), std::string::npos) << err;
    EXPECT_EQ(Process({Speech(), Name("x.mp3")}, nullptr, &err), 1);
    EXPECT_NE(err.find("unknown output format '.mp3'"), std::string::npos) << err;
    EXPECT_EQ(Process({Speech(), Name("x.flac"), "--float"}, nullptr, &err), 1);
    EXPECT_NE(err.find("hold no float samples"), std::string::npos) << err;
    EXPECT_EQ(Process({Speech()}, nullptr, &err), 2);
    EXPECT_NE(err.find("Usage: sonari-cli process"), std::string::npos) << err;
    EXPECT_EQ(Process({Speech(), Name("x.wav"), "--loud"}, nullptr, &err), 2);
    EXPECT_NE(err.find("unknown option '--loud'"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(Name("x.wav")));
}

// Whatever the rate, the output lines up with the input sample for sample: an impulse and the
// end of a tone burst come out where they went in, and the output is exactly as long.
TEST_F(ProcessCommand, OutputIsAlignedWithTheInputAtEveryRate) {
    for (const uint32_t rate : {12000u, 44100u, 48000u, 96000u}) {
        SCOPED_TRACE(rate);
        const size_t frames = rate + 123, at = frames / 3, burst = frames - rate / 10;
        TSingleArray in(frames, 0.0f);
        in[at] = 0.5f;
        const TSingleArray tone = test::Sine(frames, 1000.0L / rate, 0.25L);
        std::copy(tone.begin() + long(burst), tone.end(), in.begin() + long(burst));
        test::WriteWav(Name("burst.wav"), rate, {in}, 4, true);
        ASSERT_EQ(Process({Name("burst.wav"), Name("aligned.wav"), "--float"}), 0);
        const TSingleArray out = ReadWav(Name("aligned.wav")).Channels[0];
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

// A 44.1 kHz recording runs at 48 kHz and comes back at its own rate, as long as it was; the
// chain itself is the file processor's unit tests'.
TEST_F(ProcessCommand, AFileAtAnotherRateIsConvertedAndBack) {
    ASSERT_EQ(test::RunCommand("sox " + test::ShellQuote(Speech()) + " -r 44100 " +
                               test::ShellQuote(Name("speech44k.wav"))),
              0);
    std::string out;
    ASSERT_EQ(Process({Name("speech44k.wav"), Name("p44.wav")}, &out), 0);
    EXPECT_NE(out.find("runs at 44100 Hz: processed at 48000 Hz and converted back"),
              std::string::npos)
        << out;
    const test::TWavContents processed = ReadWav(Name("p44.wav"));
    EXPECT_EQ(processed.Rate, 44100u);
    EXPECT_FALSE(processed.IsFloat);
    EXPECT_EQ(processed.Channels[0].size(), test::WavFrames(Name("speech44k.wav")));
    EXPECT_GT(test::Peak(processed.Channels[0]), 1e8f); // of 2^31
}

// FLAC through libsndfile gives the very samples WAV gives through Sonari's own component.
TEST_F(ProcessCommand, FlacInAndOutEqualsWavInAndOut) {
    const std::string wav16 = Name("speech16.wav"), flac = Name("speech.flac");
    ASSERT_EQ(test::RunCommand("sox " + test::ShellQuote(Speech()) + " -b 16 " +
                               test::ShellQuote(wav16) + " && sox " + test::ShellQuote(wav16) +
                               " " + test::ShellQuote(flac)),
              0);
    ASSERT_EQ(Process({wav16, Name("viaWav.wav"), "--profile", ClipperProfile()}), 0);
    ASSERT_EQ(Process({flac, Name("viaFlac.flac"), "--profile", ClipperProfile()}), 0);
    ASSERT_EQ(test::RunCommand("sox " + test::ShellQuote(Name("viaFlac.flac")) + " " +
                               test::ShellQuote(Name("fromFlac.wav"))),
              0);
    const TSingleArray viaWav = ReadWav(Name("viaWav.wav")).Channels[0];
    EXPECT_EQ(ReadWav(Name("fromFlac.wav")).Channels[0], viaWav);
    EXPECT_GT(test::Peak(viaWav), 1e8f);
}

// --json says in JSON lines what the text says: each window and the summary.
TEST_F(ProcessCommand, JsonLinesCarryTheFiguresOfTheText) {
    std::string text, json;
    ASSERT_EQ(Process({Speech(), Name("t.wav"), "--stats", "--float"}, &text), 0);
    EXPECT_TRUE(ReadWav(Name("t.wav")).IsFloat);
    ASSERT_EQ(Process({Speech(), Name("j.wav"), "--stats", "--json"}, &json), 0);
    test::WriteFileBytes(Name("lines.json"), json);
    // every line is a JSON object; the figures printed as the text prints them
    const std::string check =
        "import json, sys\n"
        "for line in open(sys.argv[1]):\n"
        "    o = json.loads(line)\n"
        "    if 'window_end_s' in o:\n"
        "        print('%8.1f s  V r.m.s. = %d dBFS  V peak = %d dBFS  Peak Factor = %d dB' % "
        "(o['window_end_s'], o['rms_dbfs'], o['peak_dbfs'], o['peak_factor_db']))\n"
        "    else:\n"
        "        print('Output: V r.m.s. = %.1f dBFS, V peak = %.1f dBFS, Peak Factor = %.1f dB, "
        "Overshoot = %+.1f dB' % (o['rms_dbfs'], o['peak_dbfs'], o['peak_factor_db'], "
        "o['overshoot_db']))\n";
    test::WriteFileBytes(Name("check.py"), check);
    ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + test::ShellQuote(Name("check.py")) + " " +
                               test::ShellQuote(Name("lines.json")) + " > " +
                               test::ShellQuote(Name("fromJson.txt"))),
              0)
        << json;
    std::string expected;
    for (size_t from = 0, to; (to = text.find('\n', from)) != std::string::npos; from = to + 1)
        if (text.compare(from, Name("t.wav").size(), Name("t.wav")) != 0) // no JSON twin
            expected += text.substr(from, to - from + 1);
    EXPECT_EQ(test::ReadFileBytes(Name("fromJson.txt")), expected);
}

TEST_F(ProcessCommand, ThirtyMinutesRunInTheMemoryOfOne) {
    const std::string speech = test::ShellQuote(Speech());
    const double seconds = test::WavFrames(Speech()) / 48000.0;
    long rssKb[2] = {};
    for (int minutes : {1, 30}) {
        const std::string input = Name("long.wav");
        const int repeats = static_cast<int>(std::ceil(60 * minutes / seconds));
        ASSERT_EQ(test::RunCommand("sox " + speech + " " + test::ShellQuote(input) + " repeat " +
                                   std::to_string(repeats)),
                  0);
        test::TChild child({Cli(), "process", input, Name("processed.wav"), "--stats", "--profile",
                            ClipperProfile()},
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
