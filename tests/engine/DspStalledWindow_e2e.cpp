#include "DspFixture.h"

#include "engine/LiveRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

// On the real clock beside other tests' load a late streaming thread is an xrun: this runs
// with the end-to-end tests, one at a time.

namespace sonari {
namespace {

using namespace std::chrono_literals;
// A voiced sound at `rate` in whole numbers: a 32-bit device carries it exactly.
float Voiced(int64_t n, int32_t rate) {
    const double t = static_cast<double>(n) / rate;
    const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 2.1 * t);
    return static_cast<float>(std::nearbyint(
        swell * (6e8 * std::sin(2 * M_PI * 430 * t) + 3e8 * std::sin(2 * M_PI * 1270 * t))));
}

// Devices on the real clock at 48 kHz: a 32-bit microphone and a transmitter that keeps what
// it plays, frame by frame.
class DspBesideAStalledWindow : public test::TDspFixture {
protected:
    static constexpr int32_t kRate = 48000;

    DspBesideAStalledWindow() : TDspFixture(TSimPlatform::scRealTime) {
        TSimPin mic = SimPin(false, 1, 32, 32, kRate, kRate);
        mic.Source = [](int64_t first, int32_t, TDataBufferF& block) {
            for (size_t f = 0; f < block[0].size(); ++f)
                block[0][f] = Voiced(first + static_cast<int64_t>(f), kRate);
        };
        TSimPin speaker = SimPin(true, 1, 32, 32, kRate, kRate);
        speaker.Sink = [this](int64_t first, int32_t, const TDataBufferF& block) {
            std::lock_guard lock(mutex_);
            const auto at = static_cast<size_t>(first);
            if (played_.size() < at + block[0].size())
                played_.resize(at + block[0].size(), std::nanf(""));
            std::copy(block[0].begin(), block[0].end(),
                      played_.begin() + static_cast<ptrdiff_t>(at));
        };
        Sim.AddDevice(SimDevice("Mic", {mic}));
        Sim.AddDevice(SimDevice("Transmitter", {speaker}));
        Selection = {0, 1};
        MakeDsp();
    }

    TSingleArray Played() {
        std::lock_guard lock(mutex_);
        return played_;
    }

private:
    std::mutex mutex_;
    TSingleArray played_; // by device frame; NaN where nothing was played
};

// The window's thread blocks twice for 300 ms (a file dialog, a slow repaint) while the audio
// runs on short blocks: every block still reaches the transmitter, in order, as the chain run
// by hand makes it, and the reports the window missed arrive once it is back.
TEST_F(DspBesideAStalledWindow, KeepsEveryBlockFlowing) {
    Dsp->EditEqualizer([](TMicEqualizer& eq) { eq.SetClipperEnabled(true); });
    Dsp->SetAnalysisOn(true);
    Dsp->SetMode(dmProcess);
    Dsp->StartDuplex();
    ASSERT_EQ(Dsp->Chain().Layout().BlockSize, TDsp::kLowLatencyBlockSize);
    const auto start = std::chrono::steady_clock::now();
    int stalls = 0;
    RunLive(*Dsp, Sync, [&] {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed > 500ms + stalls * 1000ms && stalls < 2) {
            std::this_thread::sleep_for(300ms);
            ++stalls;
        }
        return elapsed > 2500ms;
    });
    EXPECT_EQ(Dsp->Stream().XrunCount(), 0u);
    EXPECT_EQ(Dsp->Stream().DroppedBlockCount(), 0u);
    EXPECT_EQ(Dsp->DroppedReports(), 0u);
    EXPECT_GE(Dsp->BlockCount(), 25); // 2.5 s: at least 29 blocks of 1024 samples
    // every report was shown but those the stop caught in the queue
    EXPECT_GE(View.HistogramReports, Dsp->BlockCount() - 2);
    EXPECT_TRUE(View.Errors.empty());

    const TSingleArray played = Played();
    TMicEqualizer equalizer;
    equalizer.SetDataBlockSize(TDsp::kLowLatencyBlockSize);
    equalizer.SetClipperEnabled(true);
    TChainParameters parameters;
    parameters.Equalizer = equalizer.Parameters();
    TProcessingChain chain;
    chain.Prepare({kRate, kRate, true, false, TDsp::kLowLatencyBlockSize}, parameters);
    TSingleArray in(static_cast<size_t>(chain.InputFrames())), out(in.size()), direct;
    for (int64_t first = 0; direct.size() < played.size(); first += std::ssize(in)) {
        for (size_t f = 0; f < in.size(); ++f)
            in[f] = Voiced(first + static_cast<int64_t>(f), kRate);
        chain.Process(in, out);
        direct.insert(direct.end(), out.begin(), out.end());
    }
    // The transmitter first plays the silence queued before the first block.
    const auto firstSound = [](const TSingleArray& x) {
        return static_cast<size_t>(
            std::find_if(x.begin(), x.end(), [](float v) { return std::fabs(v) > 1e4f; }) -
            x.begin());
    };
    const size_t lead = (firstSound(played) - firstSound(direct)) / in.size() * in.size();
    ASSERT_GT(played.size(), lead + 2 * kRate);
    // (to one step of the 32-bit scale: the device rounds halves its own way)
    for (size_t n = 0; n + lead < played.size(); ++n)
        ASSERT_NEAR(played[lead + n], direct[n], 1.0f) << "frame " << n;
}

} // namespace
} // namespace sonari
