#include "SND/MicEqual.h"

#include "SND/BlkSinc.h"
#include "SND/Exceptions.h"
#include "tests/support/Envelope.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <random>
#include <vector>

namespace sonari {
namespace {

constexpr double kK = TMicEqualizer::kClipLevel;
constexpr int kBlock = 1024;

struct TCutoffs {
    int32_t Lo, Hi;
};
// The default band and the cut-offs' extremes, the editor's widest and narrowest band.
const TCutoffs kStandard{300, 2700}, kWide{50, 5700}, kNarrow{500, 1500};

// The engine's configuration, 1024-sample blocks at 12000 samples/s, with the clipper off or on.
TMicEqualizer Equalizer(bool clipper = false, TCutoffs band = kStandard, bool control = true) {
    TMicEqualizer eq;
    eq.SetDataBlockSize(kBlock);
    eq.SetCutoffLo(band.Lo);
    eq.SetCutoffHi(band.Hi);
    eq.SetClipperEnabled(clipper);
    eq.SetOvershootControl(control);
    eq.Prepare();
    return eq;
}

using test::Noise;

// The signal block by block, the last one padded with silence; the output as long as the input.
TSingleArray ProcessStream(TMicEqualizer& eq, const TSingleArray& x) {
    const auto d = static_cast<size_t>(eq.DataBlockSize());
    TSingleArray y, block(d);
    for (size_t first = 0; first < x.size(); first += d) {
        std::fill(block.begin(), block.end(), 0.0f);
        std::copy_n(x.begin() + first, std::min(d, x.size() - first), block.begin());
        eq.Process(block);
        y.insert(y.end(), block.begin(), block.end());
    }
    y.resize(x.size());
    return y;
}

// Windowed-sinc low-pass normalised to unit sum, from the public kernel helpers.
std::vector<double> UnitLowPass(int taps, double cutoffHz) {
    TSingleArray k;
    MakeSincKernel(taps, k, static_cast<float>(cutoffHz / 12000));
    const double sum = std::accumulate(k.begin(), k.end(), 0.0);
    std::vector<double> h(k.begin(), k.end());
    for (double& v : h)
        v /= sum;
    return h;
}

// Response in dB at a frequency, interpolated between the 512 points (30 Hz .. 6 kHz).
double ResponseAt(const TMicEqualizer& eq, double hz) {
    const double x = 512 * std::log(hz / 30) / std::log(6000.0 / 30);
    const int i = std::min(static_cast<int>(x), 510);
    const double t = x - i;
    return (1 - t) * eq.Response()[i] + t * eq.Response()[i + 1];
}

// --- configuration ---

TEST(MicEqualizerSetup, CutoffWritesDragTheOtherEdgeAlongAndStayBelowNyquist) {
    TMicEqualizer eq;
    eq.SetCutoffLo(3000);
    EXPECT_EQ(eq.CutoffLo(), 3000);
    EXPECT_EQ(eq.CutoffHi(), 3000);

    eq.SetCutoffHi(100);
    EXPECT_EQ(eq.CutoffLo(), 100);
    eq.SetCutoffLo(7000);
    EXPECT_EQ(eq.CutoffHi(), 6000);
    eq.SetCutoffLo(-50);
    eq.SetCutoffHi(-50);
    EXPECT_EQ(eq.CutoffHi(), 1);
    EXPECT_EQ(eq.CutoffLo(), 0);
}

// A new size takes effect at once: without Prepare the run goes on from silence at the new
// transform size instead of overrunning the old one.
TEST(MicEqualizerSetup, RejectsSizesThatCannotWorkAndStartsTheLargestThatFitsWithoutPrepare) {
    TMicEqualizer eq = Equalizer(true);
    ProcessStream(eq, Noise(2 * kBlock, 1e8, 10));
    const TSingleArray response = eq.Response();
    EXPECT_THROW(eq.SetDataBlockSize(0), ERangeError);
    EXPECT_THROW(eq.SetFiltKernelLen(-1), ERangeError);
    EXPECT_THROW(eq.SetDataBlockSize(TMicEqualizer::kMaxConvolution), ERangeError);
    EXPECT_EQ(eq.DataBlockSize(), kBlock);
    EXPECT_EQ(eq.Response(), response);
    const int32_t largest = TMicEqualizer::kMaxConvolution - 766;
    eq.SetDataBlockSize(largest);
    EXPECT_EQ(eq.FFTSize(), 16384);
    for (double v : ProcessStream(eq, Noise(3 * size_t(largest), 1e8, 11)))
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(eq.SampleEnvelope().size(), size_t(largest));
}

// Edits mid-run redesign only what changed, end where the unedited design is and keep the
// overlap: back at the old settings nothing audible changed.
TEST(MicEqualizerSetup, RedesignsOnlyWhatChangedButEndsWhereAFreshOneWouldAndKeepsTheOverlap) {
    const TSingleArray x = Noise(4 * kBlock, 1e8, 8);
    const TSingleArray first(x.begin(), x.begin() + 2 * kBlock);
    const TSingleArray second(x.begin() + 2 * kBlock, x.end());
    TMicEqualizer eq = Equalizer(), steady = Equalizer();
    ProcessStream(eq, first);
    ProcessStream(steady, first);
    eq.SetBand(2, 7.5f);
    eq.SetCutoffLo(150);
    eq.SetBand(2, 0.0f);
    eq.SetCutoffLo(300);
    EXPECT_EQ(eq.Response(), steady.Response());
    for (int k = 0; k < eq.FFTSize(); ++k) {
        ASSERT_EQ(eq.TotalSpec()[k].Re, steady.TotalSpec()[k].Re) << k;
        ASSERT_EQ(eq.TotalSpec()[k].Im, steady.TotalSpec()[k].Im) << k;
    }
    EXPECT_EQ(ProcessStream(eq, second), ProcessStream(steady, second));
}

// --- response ---

// With flat bands the band-pass alone, -6 dB at its cut-offs; without a low cut the low-pass
// alone, not a high-pass.
TEST(MicEqualizerResponse, WithFlatBandsIsTheBandPassAloneAndWithoutALowCutTheLowPass) {
    TMicEqualizer eq = Equalizer();
    for (int32_t lo : {300, 0}) {
        eq.SetCutoffLo(lo);
        for (double hz :
             {30.0, 100.0, 300.0, 500.0, 1000.0, 2000.0, 2700.0, 3100.0, 4000.0, 5900.0}) {
            SCOPED_TRACE(testing::Message() << lo << " " << hz);
            if (hz == lo || hz == 2700)
                EXPECT_NEAR(ResponseAt(eq, hz), -6.02, 0.2);
            else if (hz < lo || hz > 2700)
                EXPECT_LT(ResponseAt(eq, hz), -80.0);
            else
                EXPECT_NEAR(ResponseAt(eq, hz), 0.0, 0.05);
        }
    }
}

TEST(MicEqualizerResponse, FollowsARaisedBandWithHalfItsGainHalfAnOctaveAway) {
    const TMicEqualizer flat = Equalizer();
    TMicEqualizer eq = Equalizer();
    eq.SetBand(3, 6.0f);
    auto gain = [&](double hz) { return ResponseAt(eq, hz) - ResponseAt(flat, hz); };
    EXPECT_NEAR(gain(600), 6.0, 0.1);
    EXPECT_NEAR(gain(600 / std::numbers::sqrt2), 3.0, 0.1);
    EXPECT_NEAR(gain(600 * std::numbers::sqrt2), 3.0, 0.1);
    EXPECT_NEAR(gain(1200), 0.0, 0.15);
}

TEST(MicEqualizerResponse, StaysFiniteWhateverTheBandsHold) {
    TMicEqualizer limited = Equalizer();
    limited.SetBands({120.0f, -120.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    TMicEqualizer eq = Equalizer();
    eq.SetBands({1e30f, -FLT_MAX, std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f, 0.0f, 0.0f});
    EXPECT_EQ(eq.Response(), limited.Response());
    std::array<float, TMicEqualizer::kBandCount> infinite;
    infinite.fill(std::numeric_limits<float>::infinity());
    eq.SetBands(infinite);
    TSingleArray y = ProcessStream(eq, Noise(4 * kBlock, 1e9, 1));
    for (double v : y)
        ASSERT_TRUE(std::isfinite(v));
}

// --- processing ---

class MicEqualizerBlocks : public ::testing::TestWithParam<int> {};

TEST_P(MicEqualizerBlocks, EqualsADirectConvolutionWithTheKernelsOverALongStream) {
    TMicEqualizer eq;
    eq.SetDataBlockSize(GetParam());
    eq.Prepare();
    // band-pass LP(300) - LP(2700) and, with flat bands, an impulse at tap 256 for the
    // equalizer: together the band-pass delayed by 256 samples
    const std::vector<double> lo = UnitLowPass(256, 300), hi = UnitLowPass(256, 2700);
    std::vector<double> h(256 + 256, 0.0);
    for (int i = 0; i < 256; ++i)
        h[256 + i] = lo[i] - hi[i];
    const TSingleArray x = Noise(30 * 1024, 1e8, 2), got = ProcessStream(eq, x);
    double difference = 0, peak = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        double y = 0;
        for (size_t k = 0; k < h.size() && k <= n; ++k)
            y += h[k] * x[n - k];
        difference = std::max(difference, std::abs(got[n] - y));
        peak = std::max(peak, std::abs(y));
    }
    EXPECT_LT(difference, 2e-6 * peak);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, MicEqualizerBlocks, ::testing::Values(128, 1000, 1024));

TEST(MicEqualizerProcess, AnalysisLeavesTheSignalPathAsIfItHadNotRun) {
    const TSingleArray a = Noise(2 * kBlock, 1e8, 5), b = Noise(kBlock, 1e8, 6);
    TMicEqualizer plain = Equalizer(), analysed = Equalizer();
    analysed.SetAnalysisOn(true);
    const TSingleArray want = ProcessStream(plain, a);
    TSingleArray got(want.begin(), want.begin() + kBlock);
    ProcessStream(analysed, TSingleArray(a.begin(), a.begin() + kBlock));
    TSingleArray other(b.begin(), b.end());
    analysed.Analyze(other);
    EXPECT_EQ(other, TSingleArray(b.begin(), b.end()));
    const TSingleArray second = ProcessStream(analysed, TSingleArray(a.begin() + kBlock, a.end()));
    got.insert(got.end(), second.begin(), second.end());
    EXPECT_EQ(got, want);
    EXPECT_EQ(analysed.SampleEnvelope().size(), static_cast<size_t>(kBlock));

    // with both stages off the block passes untouched, measured only when analysis is on
    for (bool analysis : {false, true}) {
        TMicEqualizer off = Equalizer();
        off.SetEqualizerEnabled(false);
        off.SetAnalysisOn(analysis);
        EXPECT_EQ(ProcessStream(off, a), a);
        EXPECT_EQ(off.SampleEnvelope().empty(), !analysis);
    }
}

// After Prepare the equalizer is its fresh twin; fed non-numbers (as silence) and infinities (as
// kMaxInput) it stays the twin fed the clean stream, and a block of the wrong length fails
// mid-run before anything changes.
TEST(MicEqualizerProcess, PrepareNonNumbersAndWrongBlocksLeaveItAsAFreshTwinFedCleanly) {
    TMicEqualizer eq = Equalizer(true), twin = Equalizer(true);
    ProcessStream(eq, Noise(2 * kBlock, 3e8, 9));
    eq.Prepare();
    TSingleArray x = Noise(4 * kBlock, 1e8, 12), cleaned = x;
    x[100] = std::numeric_limits<double>::quiet_NaN();
    cleaned[100] = 0.0;
    x[2000] = std::numeric_limits<double>::infinity();
    cleaned[2000] = TMicEqualizer::kMaxInput;
    const auto part = [](const TSingleArray& s, size_t from, size_t to) {
        return TSingleArray(s.begin() + from, s.begin() + to);
    };
    EXPECT_EQ(ProcessStream(eq, part(x, 0, kBlock)), ProcessStream(twin, part(cleaned, 0, kBlock)));
    TSingleArray shortBlock(1023, 5e8f);
    EXPECT_THROW(eq.Process(shortBlock), EAssertionFailed);
    EXPECT_EQ(shortBlock, TSingleArray(1023, 5e8f));
    EXPECT_THROW(eq.Analyze(TSingleArray(2048, 1.0f)), EAssertionFailed);
    EXPECT_EQ(ProcessStream(eq, part(x, kBlock, x.size())),
              ProcessStream(twin, part(cleaned, kBlock, x.size())));
}

// --- dynamics ---

// Output envelope (peak of the last blocks) in dB relative to K for a steady 1 kHz sine whose
// equalized envelope lies levelDb above ClipThreshold.
double SteadyOutputDb(TMicEqualizer& eq, double levelDb) {
    eq.Prepare();
    const double amplitude = eq.ClipThreshold() * std::pow(10.0, levelDb / 20);
    const TSingleArray y = ProcessStream(eq, test::Sine(12 * kBlock, 1000.0L / 12000, amplitude));
    return 20 * std::log10(test::Peak(y, 8 * kBlock) / kK);
}

TEST(MicEqualizerDynamics, StaticCurveReachesTheClipLevelAtTheThresholdAndGatesAt3DbPerDb) {
    TMicEqualizer eq = Equalizer(true);
    const double gateDb = 20 * std::log10(eq.GateThreshold() / eq.ClipThreshold()); // -25 dB
    for (float ratio : {1.0f, 2.0f}) {
        eq.SetCompression(ratio);
        EXPECT_NEAR(SteadyOutputDb(eq, 0), 0.0, 0.05) << ratio;
        EXPECT_NEAR(SteadyOutputDb(eq, 10), 0.0, 0.05) << ratio;
        EXPECT_NEAR(SteadyOutputDb(eq, -20), -20.0 / ratio, 0.05) << ratio;
        const double atGate = SteadyOutputDb(eq, gateDb + 0.5);
        EXPECT_NEAR(atGate, (gateDb + 0.5) / ratio, 0.05) << ratio;
        EXPECT_NEAR(SteadyOutputDb(eq, gateDb - 5) - SteadyOutputDb(eq, gateDb - 10), 15.0, 0.1);
        // continuous at the gate threshold
        EXPECT_NEAR(SteadyOutputDb(eq, gateDb - 0.5), atGate - 0.5 / ratio - 1.5, 0.05);
    }
}

TEST(MicEqualizerDynamics, GivesFiniteSamplesWhateverTheParametersHold) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values = {0.0f, -1.0f, nan, inf, 1e-45f, FLT_MAX, 67909392.0f};
    TSingleArray x = Noise(kBlock, 3e8, 14);
    const TSingleArray loud = test::Sine(kBlock, 700.0L / 12000, 2e9L);
    x.insert(x.end(), loud.begin(), loud.end());
    x.insert(x.end(), kBlock, 0.0);
    TMicEqualizer eq = Equalizer(true);
    for (float clip : values)
        for (float gate : values)
            for (float ratio : values) {
                eq.SetClipThreshold(clip);
                eq.SetGateThreshold(gate);
                eq.SetCompression(ratio);
                eq.Prepare();
                const TSingleArray y = ProcessStream(eq, x);
                for (double v : y)
                    ASSERT_TRUE(std::isfinite(v) && std::abs(v) < 4 * kK)
                        << clip << " " << gate << " " << ratio << ": " << v;
            }
}

// --- overshoot control ---

// Hard cases for the envelope after the second band-pass, 14 blocks each, ending in silence.
constexpr size_t kCaseLength = 14 * kBlock;
const float kClip = TMicEqualizer().ClipThreshold();

// Bursts of two equal tones whose envelope peaks at `times` the clip threshold, switched on and
// off abruptly.
TSingleArray TwoToneBursts(double hzA, double hzB, double times) {
    TSingleArray x(kCaseLength, 0.0f);
    for (size_t n = 0; n + 2 * kBlock < kCaseLength; ++n) {
        if (n % 1800 >= 1200)
            continue;
        const double t = static_cast<double>(n) / 12000;
        x[n] = static_cast<float>(
            times * kClip / 2 *
            (std::sin(2 * std::numbers::pi * hzA * t) + std::sin(2 * std::numbers::pi * hzB * t)));
    }
    return x;
}

// Full-scale clicks over a quiet tone that keeps the gate open.
TSingleArray Clicks() {
    TSingleArray x(kCaseLength, 0.0f);
    for (size_t n = 0; n + 2 * kBlock < kCaseLength; ++n)
        x[n] = static_cast<float>(0.1 * kClip * std::sin(2 * std::numbers::pi * 700 * n / 12000));
    for (size_t n = 1000; n + 2 * kBlock < kCaseLength; n += 1500)
        x[n] = n % 3000 == 1000 ? 2e9f : -2e9f;
    return x;
}

// Speech-like sound (a swelling two-tone with noise, 10 dB over the clip threshold at its
// loudest) that stops dead into digital silence.
TSingleArray LoudSpeechThenSilence() {
    TSingleArray x(kCaseLength, 0.0f);
    std::mt19937 rng(21);
    std::normal_distribution<double> noise(0.0, 0.5 * kClip);
    for (size_t n = 0; n < 8 * kBlock; ++n) {
        const double t = static_cast<double>(n) / 12000;
        const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 3.1 * t);
        x[n] = static_cast<float>(swell * 3 * kClip *
                                      (std::sin(2 * std::numbers::pi * 240 * t) +
                                       0.7 * std::sin(2 * std::numbers::pi * 1130 * t)) +
                                  noise(rng));
    }
    return x;
}

TEST(MicEqualizerOvershoot, HoldsTheEnvelopeAtTheClipLevelInHardCasesAtBothBandExtremes) {
    for (TCutoffs band : {kWide, kNarrow}) {
        // each overshoots without the control
        const std::pair<const char*, TSingleArray> cases[] = {
            {"two tones 6 dB over", TwoToneBursts(800, 1100, 2)},
            {"clicks", Clicks()},
            {"speech into silence", LoudSpeechThenSilence()}};
        for (const auto& [name, signal] : cases) {
            TMicEqualizer off = Equalizer(true, band, false), on = Equalizer(true, band, true);
            SCOPED_TRACE(::testing::Message() << band.Lo << "/" << band.Hi << " " << name);
            EXPECT_GT(test::EnvelopePeakDb(ProcessStream(off, signal), kK), 0.3);
            EXPECT_LT(test::EnvelopePeakDb(ProcessStream(on, signal), kK), 0.05);
        }
    }
}

// Off, the output is the uncontrolled clipper output bit for bit: the control's input stream
// is that output, so where no correction reaches (the quiet parts) the controlled output is it
// too, delayed; once switched off, the output is as if the control had never run. (Without the
// clipper it never runs: MicEqualizerBlocks, with the control on, is the plain convolution.)
TEST(MicEqualizerOvershoot, OffTheOutputIsBitIdenticalToTheUncontrolledOne) {
    TSingleArray x = test::Sine(12 * kBlock, 700.0L / 12000, 0.3L * kClip);
    const TSingleArray burst = TwoToneBursts(800, 1100, 3);
    std::copy_n(burst.begin(), 2 * kBlock, x.begin() + 4 * kBlock); // loud from block 4 to 6
    TMicEqualizer off = Equalizer(true, kNarrow, false), on = Equalizer(true, kNarrow, true);
    const TSingleArray plain = ProcessStream(off, x), controlled = ProcessStream(on, x);
    const auto delay = static_cast<size_t>(on.OvershootDelay());
    for (size_t n = 0; n < 4 * kBlock; ++n)
        ASSERT_EQ(controlled[n + delay], plain[n]) << n;
    for (size_t n = 9 * kBlock; n + delay < x.size(); ++n)
        ASSERT_EQ(controlled[n + delay], plain[n]) << n;
    EXPECT_NE(controlled, plain);

    // on for the loud part, then off
    TMicEqualizer switched = Equalizer(true, kNarrow, true),
                  never = Equalizer(true, kNarrow, false);
    TSingleArray a(kBlock), b(kBlock);
    for (size_t block = 0; block < 12; ++block) {
        std::copy_n(x.begin() + block * kBlock, kBlock, a.begin());
        b = a;
        if (block == 7)
            switched.SetOvershootControl(false);
        switched.Process(a);
        never.Process(b);
        if (block >= 7) {
            ASSERT_EQ(a, b) << block;
        }
    }
}

} // namespace
} // namespace sonari
