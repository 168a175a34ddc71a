#include "SND/Fft.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

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

// Share of the signal's power below `lowHz` and above `highHz`, in dB, from averaged
// Hann-windowed 4096-point spectra.
struct TBandShares {
    double BelowDb, AboveDb;
};
TBandShares BandShares(const TSingleArray& x, uint32_t rate, double lowHz, double highHz) {
    constexpr int n = 4096;
    TFftWork fft;
    std::vector<double> power(n / 2, 0.0);
    TSingleArray frame(n);
    for (size_t first = 0; first + n <= x.size(); first += n / 2) {
        for (int j = 0; j < n; ++j)
            frame[j] = x[first + j] *
                       static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * j / n));
        fft.Rdft(n, 1, frame.data());
        for (int k = 1; k < n / 2; ++k)
            power[k] +=
                double(frame[2 * k]) * frame[2 * k] + double(frame[2 * k + 1]) * frame[2 * k + 1];
    }
    double total = 0, below = 0, above = 0;
    for (int k = 1; k < n / 2; ++k) {
        const double hz = double(k) * rate / n;
        total += power[k];
        below += hz < lowHz ? power[k] : 0;
        above += hz > highHz ? power[k] : 0;
    }
    return {10 * std::log10(below / total + 1e-30), 10 * std::log10(above / total + 1e-30)};
}

// The "Peak Factor = X dB" figure of the summary line.
double PeakFactorOf(const std::string& summary) {
    const std::string key = "Output: V r.m.s. = ";
    const size_t line = summary.find(key);
    const size_t figure = summary.find("Peak Factor = ", line);
    EXPECT_NE(figure, std::string::npos) << summary;
    return figure == std::string::npos ? 0 : std::stod(summary.substr(figure + 14));
}

TEST_F(ProcessCommand, SpeechComesOutAsLongAsItWentInAndLimitedToTheVoiceBand) {
    std::string out;
    ASSERT_EQ(Process({Speech(), Name("default.wav")}, &out), 0);
    const test::TWavContents in = ReadWav(Speech()), processed = ReadWav(Name("default.wav"));
    EXPECT_EQ(processed.Rate, 48000u);
    EXPECT_FALSE(processed.IsFloat);
    EXPECT_EQ(processed.Channels[0].size(), in.Channels[0].size());

    const TBandShares before = BandShares(in.Channels[0], 48000, 200, 3000);
    const TBandShares after = BandShares(processed.Channels[0], 48000, 200, 3000);
    // The voice has real energy outside the band before, hardly any after.
    EXPECT_GT(before.BelowDb, -25) << before.BelowDb;
    EXPECT_GT(before.AboveDb, -25) << before.AboveDb;
    EXPECT_LT(after.BelowDb, -35) << after.BelowDb;
    EXPECT_LT(after.AboveDb, -35) << after.AboveDb;
    EXPECT_NE(out.find("default.wav: 48000 Hz, 16-bit PCM"), std::string::npos) << out;
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
}

// The "Overshoot = X dB" figure of the summary line, or nothing.
std::optional<double> OvershootOf(const std::string& summary) {
    const size_t figure = summary.find("Overshoot = ");
    if (figure == std::string::npos)
        return std::nullopt;
    return std::stod(summary.substr(figure + 12));
}

// The clipper leaves the envelope well over the clip level after its second band-pass; the
// overshoot control holds it there, and --stats says so.
TEST_F(ProcessCommand, StatisticsShowTheOvershootThatTheControlRemoves) {
    test::WriteFileBytes(Name("uncontrolled.ini"), "[Clipper]\nEnabled=1\nOvershootControl=0\n");
    std::string plain, uncontrolled, controlled;
    ASSERT_EQ(Process({Speech(), Name("o1.wav")}, &plain), 0);
    ASSERT_EQ(Process({Speech(), Name("o2.wav"), "--stats", "--profile", Name("uncontrolled.ini")},
                      &uncontrolled),
              0);
    ASSERT_EQ(
        Process({Speech(), Name("o3.wav"), "--stats", "--profile", ClipperProfile()}, &controlled),
        0);
    EXPECT_FALSE(OvershootOf(plain)) << plain;
    ASSERT_TRUE(OvershootOf(uncontrolled) && OvershootOf(controlled));
    EXPECT_GT(*OvershootOf(uncontrolled), 1.5) << uncontrolled;
    EXPECT_LE(*OvershootOf(controlled), 0.1) << controlled;
    EXPECT_GT(*OvershootOf(controlled), -0.5) << controlled; // the clipper does reach the level
    EXPECT_LT(PeakFactorOf(controlled) + 1.5, PeakFactorOf(uncontrolled));
    // the control's delay shows in the file line
    EXPECT_NE(controlled.find("o3.wav: 48000 Hz, 16-bit PCM"), std::string::npos) << controlled;
    EXPECT_NE(controlled.find(", delay "), std::string::npos) << controlled;
}

TEST_F(ProcessCommand, FloatOutputAndStatisticsAsTheyCome) {
    std::string out;
    ASSERT_EQ(Process({Speech(), Name("float.wav"), "--float", "--stats"}, &out), 0);
    const test::TWavContents processed = ReadWav(Name("float.wav"));
    const uint32_t frames = test::WavFrames(Speech());
    EXPECT_TRUE(processed.IsFloat);
    EXPECT_EQ(processed.Channels[0].size(), frames);
    float peak = 0;
    for (float x : processed.Channels[0])
        peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.1f);
    EXPECT_LT(peak, 1.0f);
    // A line per 25 blocks of 4096 frames, the last one padded; then the summary's two.
    const auto lines = std::count(out.begin(), out.end(), '\n');
    EXPECT_EQ(static_cast<uint32_t>(lines - 2), (frames + 4095) / 4096 / 25) << out;
    EXPECT_NE(out.find("2.1 s  V r.m.s. = "), std::string::npos) << out;
}

TEST_F(ProcessCommand, BadInputsAreClearErrors) {
    std::string err;
    EXPECT_EQ(Process({Name("speech22k.wav"), Name("x.wav")}, nullptr, &err), 1);
    EXPECT_NE(err.find("Unsupported sampling rate 22050 Hz"), std::string::npos) << err;
    EXPECT_EQ(Process({Speech()}, nullptr, &err), 2);
    EXPECT_NE(err.find("Usage: sonari-cli process"), std::string::npos) << err;
    EXPECT_EQ(Process({Speech(), Name("x.wav"), "--loud"}, nullptr, &err), 2);
    EXPECT_NE(err.find("unknown option '--loud'"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(Name("x.wav")));
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
