#include "SND/WDM/WdmStream.h"

#include "SimFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <unistd.h>

namespace sonari {
namespace {

using namespace std::chrono_literals;

constexpr int kFrames = 64;
constexpr int kBlocks = 100'000;
constexpr double kRenderClock = 0.999; // the transmitter's clock runs 1000 ppm slow

// Resident memory of this process in bytes.
long ResidentBytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

constexpr int kTags = 30000;

// Every frame of capture block k carries 1 + k mod 30000 in its top 16 bits: never silence.
void BlockNumberSource(int64_t firstFrame, int32_t, TDataBufferF& block) {
    const float tag = static_cast<float>(1 + (firstFrame / kFrames) % kTags) * 65536.0f;
    for (TSingleArray& channel : block)
        channel.assign(channel.size(), tag);
}

// Checks, as the transmitter plays, that blocks come whole and in order; gaps are dropped blocks.
struct TPlayedBlocks {
    std::mutex Mutex;
    int Played = 0;
    int Gaps = 0;
    int Torn = 0;
    int Last = -1;

    void Take(const TDataBufferF& block) {
        std::lock_guard lock(Mutex);
        const int tag = static_cast<int>(block[0][0] / 65536.0f);
        for (const TSingleArray& channel : block)
            for (float x : channel)
                Torn += x != block[0][0];
        if (Last >= 0 && tag != Last % kTags + 1)
            Gaps += (tag - Last - 1 + kTags) % kTags;
        Last = tag;
        ++Played;
    }
};

class StreamSoak : public test::TSimFixture {
protected:
    StreamSoak() : TSimFixture(TSimPlatform::scAccelerated) {}
};

TEST_F(StreamSoak, AHundredThousandDuplexBlocksLoseOnlyWhatTheSlowerClockCannotPlay) {
    Sim.AddDevice(SimDevice("Mic", {SimPin(false, 2, 16, 16, 48000, 48000)}));
    Sim.AddDevice(SimDevice("Transmitter", {SimPin(true, 2, 16, 16, 48000, 48000)}));
    Sim.Faults(1, 0).ClockRatio = kRenderClock;
    Sim.SetSource(0, 0, BlockNumberSource);
    TPlayedBlocks played;
    Sim.SetSink(1, 0, [&](int64_t, int32_t, const TDataBufferF& block) {
        if (block[0][0] != 0.0f) // the two silent buffers that prime the device
            played.Take(block);
    });
    Build();
    TWdmAudioStream stream(*Audio, Sync);
    stream.SetDirections(ddBoth);
    stream.SetInputDevice(TDeviceSettings{0, 2, 16, 48000, kFrames});
    stream.SetOutputDevice(TDeviceSettings{1, 2, 16, 48000, kFrames});
    int handled = 0;
    long residentAfterWarmUp = 0;
    stream.OnData = [&](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        out[0] = in[0];
        out[1] = in[1];
        if (++handled == kBlocks / 10)
            residentAfterWarmUp = ResidentBytes();
    };
    stream.Start();
    while (handled < kBlocks && stream.Running())
        Sync.CheckSynchronize(10ms);
    const long growth = ResidentBytes() - residentAfterWarmUp;
    stream.Stop();

    const int expectedDrops = static_cast<int>(kBlocks * (1.0 - kRenderClock));
    std::lock_guard lock(played.Mutex);
    EXPECT_EQ(handled, kBlocks);
    EXPECT_EQ(stream.XrunCount(), 0u);
    EXPECT_NEAR(static_cast<double>(stream.DroppedBlockCount()), expectedDrops, 3);
    // Every gap in what was played is a dropped block (the last drop may still await its
    // successor); what was neither played nor dropped was still queued at Stop.
    const auto dropped = static_cast<int>(stream.DroppedBlockCount());
    EXPECT_GE(dropped, played.Gaps);
    EXPECT_LE(dropped, played.Gaps + 1);
    const int queued = kBlocks - played.Played - dropped;
    EXPECT_GE(queued, 0);
    EXPECT_LE(queued, 2);
    EXPECT_EQ(played.Torn, 0);
    EXPECT_LT(growth, 1 << 20) << "resident memory grew by " << growth << " bytes";
}

} // namespace
} // namespace sonari
