#include "DspFixture.h"
#include "tests/support/Signals.h"

#include "engine/LiveRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// On the real clock beside other tests' load a late streaming thread is an xrun: this runs
// with the end-to-end tests, one at a time.

namespace sonari {
namespace {

using namespace std::chrono_literals;

// Devices on the real clock at 48 kHz; the microphone speaks for 5 s.
class DspBesideAStalledWindow : public test::TDspLoopFixture {
protected:
    static constexpr int32_t kRate = 48000;

    DspBesideAStalledWindow()
        : TDspLoopFixture(TSimPlatform::scRealTime, kRate, test::SpeechLike(5 * kRate, kRate)) {}
};

// The window's thread blocks twice for 300 ms (a file dialog, a slow repaint) while the audio
// runs on short blocks: every block still reaches the transmitter, in order, as the chain run
// by hand makes it, and the reports the window missed arrive once it is back.
TEST_F(DspBesideAStalledWindow, KeepsEveryBlockFlowing) {
    const auto clipper = [](TMicEqualizer& eq) { eq.SetClipperEnabled(true); };
    Dsp->EditEqualizer(clipper);
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

    // (to one step of the 32-bit scale: the device rounds halves its own way)
    ExpectPlayedAsTheChain(TDsp::kLowLatencyBlockSize, clipper, 1.0f, 2 * kRate);
}

} // namespace
} // namespace sonari
