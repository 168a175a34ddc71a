#include "engine/LiveRun.h"

#include "DspFixture.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

// Devices whose clock runs as fast as the engine follows.
class LiveRun : public test::TDspFixture {
protected:
    LiveRun() : TDspFixture(TSimPlatform::scAccelerated) {
        WithDevices({SimPin(false, 2, 16, 16, 8000, 48000)}, {SimPin(true, 2, 16, 16, 8000, 48000)})
            .SetMode(dmProcess);
    }
};

TEST_F(LiveRun, RunsUntilAskedToStopOrUntilTheStreamEndsThenReleasesTheDevices) {
    Dsp->StartDuplex();
    EXPECT_EQ(RunLive(*Dsp, Sync, [&] { return Dsp->BlockCount() >= 20; }), leStopRequested);
    EXPECT_GE(Dsp->BlockCount(), 20);
    EXPECT_FALSE(Dsp->Running());
    EXPECT_EQ(Sim.OpenCount(0) + Sim.OpenCount(1), 0);
    EXPECT_TRUE(View.EndReasons.empty());
    EXPECT_TRUE(View.Errors.empty());

    // A stream that ends by itself is reported with its reason.
    Dsp->StartDuplex();
    bool removed = false;
    const TLiveRunEnd end = RunLive(*Dsp, Sync, [&] {
        if (Dsp->BlockCount() >= 10 && !removed) {
            Sim.RemoveDevice(1); // the transmitter's sound card is unplugged
            removed = true;
        }
        return false;
    });
    EXPECT_EQ(end, leStreamEnded);
    ASSERT_EQ(View.EndReasons.size(), 1u);
    EXPECT_FALSE(View.EndReasons[0].empty());
    EXPECT_FALSE(Dsp->Running());
    EXPECT_EQ(Sim.OpenCount(0), 0);
}

} // namespace
} // namespace sonari
