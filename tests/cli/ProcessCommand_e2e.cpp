#include "SND/Fft.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/cli/SonariCli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

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

    static std::string Name(const std::string& name) { return (*dir_ / name).string(); }
    static std::string Speech() { return Name("speech48k.wav"); }
    static std::string ClipperProfile() {
        test::WriteFileBytes(Name("clipper.ini"), "[Clipper]\nEnabled=1\n");
        return Name("clipper.ini");
    }

    // Runs sonari-cli process with `args`.
    static test::TProgramRun Process(std::vector<std::string> args) {
        args.insert(args.begin(), "process");
        return test::RunSonariCli(args);
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
    const test::TProgramRun run = Process({Speech(), Name("default.wav")});
    ASSERT_EQ(run.Status, 0) << run.Err;
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
    EXPECT_NE(run.Out.find("default.wav: 48000 Hz, 16-bit PCM"), std::string::npos) << run.Out;
}

TEST_F(ProcessCommand, ClipperLowersThePeakFactor) {
    const std::string plain = Process({Speech(), Name("plain.wav")}).Out;
    const std::string clipped =
        Process({Speech(), Name("clipped.wav"), "--profile", ClipperProfile()}).Out;
    EXPECT_LT(PeakFactorOf(clipped) + 4, PeakFactorOf(plain)) << plain << clipped;
}

TEST_F(ProcessCommand, FloatOutputAndStatisticsAsTheyCome) {
    const test::TProgramRun run = Process({Speech(), Name("float.wav"), "--float", "--stats"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string& out = run.Out;
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
    test::TProgramRun run = Process({Name("speech22k.wav"), Name("x.wav")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Unsupported sampling rate 22050 Hz"), std::string::npos) << run.Err;
    run = Process({Speech()});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("Usage: sonari-cli process"), std::string::npos) << run.Err;
    run = Process({Speech(), Name("x.wav"), "--loud"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("unknown option '--loud'"), std::string::npos) << run.Err;
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
        test::TChild child({test::SonariCliPath(), "process", input, Name("processed.wav"),
                            "--stats", "--profile", ClipperProfile()},
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
