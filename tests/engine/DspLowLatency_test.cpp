#include "DspFixture.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/Signals.h"

#include "SND/Levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace sonari {
namespace {

// The demo phrase at 12000 samples/s, on the 32-bit scale peaking at -3 dBFS, twice over, in
// whole blocks.
TSingleArray Speech() {
    TSingleArray x =
        test::ReadWav((test::SourceDir() / "data/Wav/DemoVoice.wav").string()).Channels[0];
    x.resize((x.size() + 1023) / 1024 * 1024, 0.0f);
    const float gain = 0.7f * 2147483647.0f / test::Peak(x);
    for (float& v : x)
        v *= gain;
    TSingleArray twice = x;
    twice.insert(twice.end(), x.begin(), x.end());
    return twice;
}

// Everything the window is shown during one run, block by block, and what was played.
struct TShown {
    test::TFakeDspView View;
    std::vector<TSingleArray> Spectra;     // input and output of each report in turn
    std::vector<TIntegerArray> Histograms; // likewise
    std::vector<float> Envelopes;
    TSingleArray Played;
};

class DspLowLatency : public test::TDspFixture {
protected:
    DspLowLatency() { Build(); }

    // Processing (mode 6) of `speech` through the block handler, fed by hand at 12000
    // samples/s, with the compressor driven 37 dB into its range or switched off.
    void Process(TLatencyMode latency, const TSingleArray& speech, TShown& shown,
                 bool clipper = true, bool displays = true) {
        TDsp dsp(*Audio, Sync, shown.View, Selection, Folders);
        dsp.EditEqualizer([&](TMicEqualizer& eq) {
            eq.SetClipperEnabled(clipper);
            eq.SetClipThreshold(static_cast<float>(DbfsToAmplitude(-40.0L)));
        });
        dsp.SetAnalysisOn(displays);
        dsp.SetLatencyMode(latency);
        shown.Played = Feed(dsp, dmProcess, speech, 12000, 2, [&] {
            const TDisplayAnalysis& analysis = dsp.Analysis();
            if (2 * shown.View.SpectrumReports > std::ssize(shown.Spectra)) {
                shown.Spectra.push_back(analysis.InSpectrum().SpectrumDb());
                shown.Spectra.push_back(analysis.OutSpectrum().SpectrumDb());
            }
            if (2 * shown.View.HistogramReports > std::ssize(shown.Histograms)) {
                shown.Histograms.push_back(analysis.Histograms().InHistogram());
                shown.Histograms.push_back(analysis.Histograms().OutHistogram());
                shown.Envelopes.push_back(analysis.Envelope());
            }
        });
        EXPECT_EQ(dsp.BlockCount(), static_cast<int32_t>(speech.size() / 1024));
        EXPECT_EQ(dsp.DroppedReports(), 0u);
    }
};

// The short blocks' output differs from the whole blocks' by float rounding (about -108 dB of
// the peak), which shows in a spectrum as a noise floor near -150 dB on the analyser's scale:
// points agree to 0.001 dB plus what that floor can add to their level (0.02 dB at -100 dB,
// 4 dB at the band edges' -146 dB); points below it are that noise alone.
void ExpectSpectraNear(const std::vector<TSingleArray>& a, const std::vector<TSingleArray>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) {
        ASSERT_EQ(a[k].size(), b[k].size());
        for (size_t i = 0; i < a[k].size(); ++i) {
            const double floor = 20 * std::log10(1 + std::pow(10.0, (-150 - b[k][i]) / 20));
            if (std::max(a[k][i], b[k][i]) > -150.0f) {
                ASSERT_NEAR(a[k][i], b[k][i], 0.001 + floor) << "spectrum " << k << " point " << i;
            }
        }
    }
}

// An envelope within rounding of a bin's edge may land in the next bin: a handful of the 1024
// samples per histogram.
void ExpectHistogramsNear(const std::vector<TIntegerArray>& a,
                          const std::vector<TIntegerArray>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) {
        int moved = 0;
        for (size_t bin = 0; bin < a[k].size(); ++bin)
            moved += std::abs(a[k][bin] - b[k][bin]);
        EXPECT_LE(moved, 10) << "histogram " << k;
    }
}

// The worst and the r.m.s. difference of `out` from `reference`, in dB of the reference's peak
// and r.m.s. value. Squares are summed in long double: the comparisons reach far below float
// rounding.
std::pair<double, double> DifferenceDb(const TSingleArray& out, const TSingleArray& reference) {
    EXPECT_EQ(out.size(), reference.size());
    TSingleArray d(reference.size());
    for (size_t n = 0; n < d.size() && n < out.size(); ++n)
        d[n] = out[n] - reference[n];
    const auto power = [](const TSingleArray& x) {
        return static_cast<double>(std::inner_product(x.begin(), x.end(), x.begin(), 0.0L));
    };
    return {20 * std::log10(test::Peak(d) / test::Peak(reference) + 1e-30),
            10 * std::log10(power(d) / power(reference))};
}

// The dynamics take their envelope from an analytic signal made per block from a one-sided
// spectrum of 2M points, so shorter blocks cut its Hilbert part in other places. Behind the
// band-pass (as the program always runs them) the cut parts are negligible: the short blocks'
// output stays within -100 dB of the peak of the whole blocks' output (measured: -108 dB), and
// within float rounding without the dynamics.
TEST_F(DspLowLatency, ShortBlocksPlayAndShowTheSameAsWholeBlocks) {
    const TSingleArray speech = Speech();
    TShown whole, small, linear, linearSmall;
    Process(lmNormal, speech, whole);
    Process(lmLow, speech, small);
    Process(lmNormal, speech, linear, false, false);
    Process(lmLow, speech, linearSmall, false, false);
    const auto [worstDb, rmsDb] = DifferenceDb(small.Played, whole.Played);
    EXPECT_LT(worstDb, -100.0);
    EXPECT_LT(rmsDb, -110.0);
    const auto [linearWorstDb, linearRmsDb] = DifferenceDb(linearSmall.Played, linear.Played);
    EXPECT_LT(linearWorstDb, -120.0);
    EXPECT_LT(linearRmsDb, -125.0);
    // the compressor did work: its output differs from the linear chain's by far more
    TSingleArray scaled = linear.Played;
    const float gain = test::Peak(whole.Played) / test::Peak(linear.Played);
    for (float& x : scaled)
        x *= gain;
    EXPECT_GT(DifferenceDb(scaled, whole.Played).second, -20.0);
    // A hidden window measures nothing (that it processes as a shown one is DspDrivers').
    EXPECT_TRUE(linear.View.Figures.empty());
    EXPECT_EQ(linear.View.SpectrumReports + linear.View.HistogramReports, 0);

    // one report per 1024 samples either way, in the same order
    ASSERT_GE(whole.View.Figures.size(), 3u);
    ASSERT_EQ(small.View.Figures.size(), whole.View.Figures.size());
    for (size_t k = 0; k < whole.View.Figures.size(); ++k) {
        EXPECT_NEAR(small.View.Figures[k].RmsDbfs, whole.View.Figures[k].RmsDbfs, 0.001f) << k;
        EXPECT_NEAR(small.View.Figures[k].PeakDbfs, whole.View.Figures[k].PeakDbfs, 0.001f) << k;
    }
    EXPECT_EQ(small.View.Overloads, whole.View.Overloads);
    EXPECT_EQ(small.View.SpectrumReports, whole.View.SpectrumReports);
    EXPECT_EQ(small.View.HistogramReports, whole.View.HistogramReports);
    ExpectSpectraNear(small.Spectra, whole.Spectra);
    ExpectHistogramsNear(small.Histograms, whole.Histograms);
    ASSERT_EQ(small.Envelopes.size(), whole.Envelopes.size());
    for (size_t k = 0; k < whole.Envelopes.size(); ++k)
        EXPECT_NEAR(small.Envelopes[k], whole.Envelopes[k],
                    std::max(1e-4f * whole.Envelopes[k], 4.0f)) // 4: -115 dBFS
            << k;
    EXPECT_TRUE(small.View.Errors.empty());
}

} // namespace
} // namespace sonari
