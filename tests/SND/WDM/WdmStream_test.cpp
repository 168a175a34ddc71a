#include "SND/WDM/WdmStream.h"

#include "SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

namespace sonari {
namespace {

using namespace std::chrono_literals;
using test::TSimFixture;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr int kFrames = 480; // 10 ms at 48 kHz
constexpr float kStep = 65536.0f;

// Frame f of channel 0 carries f (mod 2^15) in the top 16 bits; channel 1 its negation.
void RampSource(int64_t firstFrame, int32_t, TDataBufferF& block) {
    for (size_t f = 0; f < block[0].size(); ++f) {
        const float v = static_cast<float>((firstFrame + static_cast<int64_t>(f)) % 32768) * kStep;
        for (size_t c = 0; c < block.size(); ++c)
            block[c][f] = c % 2 ? -v : v;
    }
}

// What the render pins played, block by block: the first and last sample of channel 0 and the
// first of channel 1 in the units of RampSource.
struct TPlayed {
    std::vector<float> Firsts, Lasts, Seconds;
};

class TRecorder {
public:
    TSimSink Sink() {
        return [this](int64_t, int32_t, const TDataBufferF& block) {
            std::lock_guard lock(mutex_);
            played_.Firsts.push_back(block[0][0] / kStep);
            played_.Lasts.push_back(block[0].back() / kStep);
            if (block.size() > 1)
                played_.Seconds.push_back(block[1][0] / kStep);
        };
    }
    TPlayed Get() const {
        std::lock_guard lock(mutex_);
        return played_;
    }

private:
    mutable std::mutex mutex_;
    TPlayed played_;
};

class Stream : public TSimFixture {
protected:
    static constexpr size_t kMic = 0, kSpeaker = 1, kHeadset = 2;

    void SetUp() override {
        Sim.AddDevice(SimDevice("Mic", {SimPin(false, 2, 16, 24, 8000, 96000)}));
        Sim.AddDevice(SimDevice("Speaker", {SimPin(true, 2, 16, 32, 8000, 96000)}));
        Sim.AddDevice(SimDevice("Headset", {SimPin(true, 2, 16, 16, 48000, 48000),
                                            SimPin(false, 1, 16, 16, 48000, 48000)}));
        Sim.SetSource(kMic, 0, RampSource);
        Sim.SetSource(kHeadset, 1, RampSource);
        Sim.SetSink(kSpeaker, 0, Played.Sink());
        Sim.SetSink(kHeadset, 0, Played.Sink());
    }

    // A stream over the device list, set to `directions` at 48 kHz with 10 ms buffers.
    std::unique_ptr<TWdmAudioStream> MakeStream(TDataDirections directions, int32_t input = kMic,
                                                int32_t output = kSpeaker) {
        if (!Audio)
            Build();
        auto stream = std::make_unique<TWdmAudioStream>(*Audio, Sync);
        stream->SetDirections(directions);
        stream->SetInputDevice(TDeviceSettings{input, 2, 16, 48000, kFrames});
        stream->SetOutputDevice(TDeviceSettings{output, 2, 16, 48000, kFrames});
        stream->OnData = [this](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in,
                                TDataBufferF& out) {
            ++Calls;
            if (!in.empty())
                InFirsts.push_back(in[0][0] / kStep);
            for (size_t c = 0; c < out.size(); ++c)
                out[c] =
                    in.empty() ? TSingleArray(out[c].size(), Calls * kStep) : in[c % in.size()];
        };
        stream->OnStreamEnded = [this](const std::string& reason) { Ended.push_back(reason); };
        stream->OnDataError = [this](const std::string& message) { Errors.push_back(message); };
        return stream;
    }

    void StartAndSettle(TWdmAudioStream& stream) {
        stream.Start();
        Settle(stream);
    }

    TRecorder Played;
    // what the data handler saw: its calls and the first sample of channel 0 of each input
    // block, in RampSource units
    int Calls = 0;
    std::vector<float> InFirsts;
    std::vector<std::string> Ended;
    std::vector<std::string> Errors;
};

std::vector<float> BlockStarts(int first, int count) {
    std::vector<float> starts;
    for (int k = first; k < first + count; ++k)
        starts.push_back(static_cast<float>(k * kFrames));
    return starts;
}

TEST_F(Stream, CaptureDeliversEveryBufferInOrderThroughHandlerErrorsAndALateThreadLosesOne) {
    auto stream = MakeStream(ddCapture);
    stream->OnData = [&](TWdmAudioStream& sender, TDataBufferI& int32Buffer, TDataBufferF& in,
                         TDataBufferF& out) {
        EXPECT_EQ(&sender, stream.get());
        EXPECT_TRUE(out.empty());
        ASSERT_EQ(in.size(), 2u);
        ASSERT_EQ(in[0].size(), size_t{kFrames});
        EXPECT_EQ(int32Buffer[1], TIntegerArray(kFrames, 0));
        EXPECT_EQ(in[1][5], -in[0][5]);
        EXPECT_EQ(in[0][kFrames - 1] - in[0][0], (kFrames - 1) * kStep);
        InFirsts.push_back(in[0][0] / kStep);
        if (InFirsts.size() % 2 == 1)
            throw Exception("block " + std::to_string(InFirsts.size()) + " failed");
    };
    StartAndSettle(*stream);
    EXPECT_TRUE(InFirsts.empty());
    Run(*stream, 6);
    EXPECT_THAT(InFirsts, ElementsAreArray(BlockStarts(0, 6)));
    // a handler's exception is shown once per failing block and streaming goes on
    EXPECT_THAT(Errors, ElementsAre("block 1 failed", "block 3 failed", "block 5 failed"));
    EXPECT_TRUE(stream->Running());
    EXPECT_EQ(stream->XrunCount(), 0u);
    // a late thread: three buffers pass while only two are queued, the third is lost
    Sim.Advance(30ms);
    Settle(*stream);
    Run(*stream, 2);
    EXPECT_EQ(stream->XrunCount(), 1u);
    std::vector<float> expected = BlockStarts(0, 8);
    expected.insert(expected.end(), {9 * kFrames, 10 * kFrames}); // 8 * kFrames was lost
    EXPECT_THAT(InFirsts, ElementsAreArray(expected));
    stream->Stop();
    EXPECT_EQ(stream->XrunCount(), 1u);
    EXPECT_FALSE(Sim.PinCreated(kMic, 0));
    EXPECT_EQ(Sim.OpenCount(kMic), 0);
}

TEST_F(Stream, DuplexOnOneDeviceOpensItOnceAndClosesItWithTheLastPinAndRenderIsClamped) {
    auto stream = MakeStream(ddBoth, kHeadset, kHeadset);
    stream->InputDevice().Channels = 1;
    const int opens = Sim.TotalOpenCount(kHeadset);
    StartAndSettle(*stream);
    EXPECT_EQ(Sim.TotalOpenCount(kHeadset), opens + 1);
    EXPECT_EQ(Sim.OpenCount(kHeadset), 1);
    Run(*stream, 3);
    EXPECT_EQ(Calls, 3);
    EXPECT_THAT(Played.Get().Seconds, ElementsAre(0, 0, 0, 480)); // mono in, copied to both
    stream->Stop();
    EXPECT_EQ(Sim.OpenCount(kHeadset), 0);
    EXPECT_FALSE(Sim.PinCreated(kHeadset, 0));
    EXPECT_FALSE(Sim.PinCreated(kHeadset, 1));

    // neither NaN nor overrange samples reach the device, whose 16 bits would wrap around
    stream->SetDirections(ddRender);
    stream->OnData = [](TWdmAudioStream&, TDataBufferI&, TDataBufferF&, TDataBufferF& out) {
        out[0].assign(out[0].size(), std::numeric_limits<float>::quiet_NaN());
        out[0].back() = 3e9f;
        out[1].assign(out[1].size(), -3e9f);
    };
    StartAndSettle(*stream);
    Run(*stream, 3);
    EXPECT_TRUE(stream->Running());
    EXPECT_EQ(Played.Get().Firsts.back(), 0.0f);
    EXPECT_EQ(Played.Get().Lasts.back(), 32767.0f); // saturated, not wrapped to a negative peak
    EXPECT_EQ(Played.Get().Seconds.back(), -32768.0f);
    stream->Stop();
}

TEST_F(Stream, NeitherAStopWhileABlockWaitsNorADeviceRefusingToRunCallsTheHandler) {
    auto stream = MakeStream(ddCapture);
    std::atomic<int> pending = 0;
    Sync.OnWakeUp = [&] { ++pending; };
    StartAndSettle(*stream);
    Sim.Advance(10ms);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (pending == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(pending, 1); // the thread now waits in the hand-over
    stream->Stop();
    EXPECT_EQ(Calls, 0);
    EXPECT_FALSE(stream->Running());
    EXPECT_FALSE(Sim.PinCreated(kMic, 0));
    Sync.CheckSynchronize();
    EXPECT_EQ(Calls, 0);
    EXPECT_TRUE(Ended.empty());

    // a device refusing to run: Start succeeds, the refusal comes from the streaming thread
    Sim.Faults(kMic, 0).RunError = EPERM;
    stream->Start();
    Settle(*stream);
    Sync.CheckSynchronize(10ms);
    EXPECT_FALSE(stream->Running());
    // The table's text, then the driver's own words for the refusal.
    EXPECT_THAT(Ended, ElementsAre("Unable to start input from 01  Mic: error 1 "
                                   "(Mic: Operation not permitted)"));
    Run(*stream, 3);
    EXPECT_EQ(Calls, 0);
    // The pins stay held until Stop: Start does nothing meanwhile.
    stream->Start();
    EXPECT_TRUE(Sim.PinCreated(kMic, 0));
    EXPECT_FALSE(stream->Running());
    stream->Stop();
    EXPECT_FALSE(Sim.PinCreated(kMic, 0));
    EXPECT_EQ(Ended.size(), 1u);
}

// Unfaulted, a duplex stream plays every captured block once, two buffers late. Each fault of a
// running one ends it once with its message; Stop then releases the other side too.
// The writes and the wait fail from the first, the others once the stream runs.
TEST_F(Stream, DuplexPlaysEveryCapturedBlockOnceAndFaultsEndItWithTheirMessages) {
    const struct {
        std::function<void(bool)> fault; // plants (true) or clears (false) it
        bool atStart;
        std::string ended;
    } cases[] = {
        {[&](bool on) { on ? Sim.RemoveDevice(kMic) : Sim.RestoreDevice(kMic); }, false,
         "Mic: the device was removed"},
        {[&](bool on) { Sim.Faults(kMic, 0).ReadError = on ? EIO : 0; }, false,
         "Unable to read data from the sound card (Mic: Input/output error)"},
        {[&](bool on) { Sim.Faults(kSpeaker, 0).WriteError = on ? EIO : 0; }, true,
         "Unable to write data to the sound card (Speaker: Input/output error)"},
        {[&](bool on) { Sim.WaitFails = on; }, true,
         "Waiting thread failed (wait: Input/output error)"},
    };
    auto stream = MakeStream(ddBoth);
    StartAndSettle(*stream);
    Run(*stream, 8);
    EXPECT_EQ(Calls, 8); // render completions raise no data event
    std::vector<float> expected = BlockStarts(0, 7);
    expected.insert(expected.begin(), 2, 0.0f);
    EXPECT_THAT(Played.Get().Firsts, ElementsAreArray(expected));
    EXPECT_EQ(stream->DroppedBlockCount(), 0u);
    stream->Stop();
    EXPECT_EQ(Sim.OpenCount(kMic) + Sim.OpenCount(kSpeaker), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ended);
        Ended.clear();
        if (c.atStart)
            c.fault(true);
        StartAndSettle(*stream);
        Run(*stream, 2);
        c.fault(true);
        Run(*stream, 1);
        Sync.CheckSynchronize(10ms);
        EXPECT_THAT(Ended, ElementsAre(c.ended));
        EXPECT_FALSE(stream->Running());
        stream->Stop();
        c.fault(false);
        EXPECT_FALSE(Sim.PinCreated(kMic, 0));
        EXPECT_FALSE(Sim.PinCreated(kSpeaker, 0));
    }
}

TEST_F(Stream, AStartThatFailsRaisesAndReleasesEveryDevicePinAndEvent) {
    auto stream = MakeStream(ddCapture);
    auto codeOf = [&] { return test::WdmErrorOf([&] { stream->Start(); }); };
    stream->InputDevice().Index = 5;
    EXPECT_EQ(codeOf(), std::make_pair(6, std::string("Invalid device number: 5")));

    stream->SetInputDevice(TDeviceSettings{kMic, 2, 16, 192000, kFrames});
    EXPECT_EQ(codeOf(),
              std::make_pair(16, std::string("Input device does not support selected parameters")));

    // Capture opens, then render fails: the capture side is released again.
    stream->SetDirections(ddBoth);
    stream->SetInputDevice(TDeviceSettings{kMic, 2, 16, 48000, kFrames});
    stream->SetOutputDevice(TDeviceSettings{kSpeaker, 2, 16, 48000, kFrames});
    Sim.Faults(kSpeaker, 0).CreateError = EBUSY;
    EXPECT_EQ(codeOf(),
              std::make_pair(13, std::string("Unable to start output to 02  Speaker: "
                                             "error 16 (Speaker: Device or resource busy)")));
    // Both pins open, then the streaming thread's events run out (it needs five).
    Sim.Faults(kSpeaker, 0).CreateError = 0;
    Sim.EventsLeft = 3;
    EXPECT_THROW(stream->Start(), EOSError);

    EXPECT_EQ(Sim.OpenEventCount(), 0);
    for (size_t d : {kMic, kSpeaker, kHeadset}) {
        EXPECT_EQ(Sim.OpenCount(d), 0) << d;
        EXPECT_FALSE(Sim.PinCreated(d, 0)) << d;
    }
    EXPECT_FALSE(stream->Running());
    Sim.EventsLeft = -1;
    StartAndSettle(*stream);
    EXPECT_EQ(Sim.OpenEventCount(), 5);
    stream->Stop();
    EXPECT_EQ(Sim.OpenEventCount(), 0);
}

TEST_F(Stream, AStreamOnAnUninitializedListRaisesCodeOneWithThePlatformsReason) {
    Sim.LoadFails = true;
    Build();
    TWdmAudioStream stream(*Audio, Sync);
    EXPECT_EQ(stream.Directions(), ddRender);
    EXPECT_EQ(test::WdmErrorOf([&] { stream.Start(); }),
              std::make_pair(int{wdmInitFailed},
                             std::string("WDM Audio Engine failed to initialize (the simulated "
                                         "driver library: No such file or directory)")));
}

class RealtimeStream : public Stream {
protected:
    void SetUp() override {
        Sim.AddDevice(SimDevice("Mic", {SimPin(false, 2, 16, 16, 48000, 48000)}, true));
        Sim.AddDevice(SimDevice("Speaker", {SimPin(true, 2, 16, 16, 48000, 48000)}, true));
        Sim.SetSource(kMic, 0, RampSource);
        Sim.SetSink(kSpeaker, 0, Played.Sink());
    }
};

// Capture copies each completed half of the cyclic buffer; render writes the half played next.
TEST_F(RealtimeStream, CaptureAndRenderUseAlternateHalvesOfACyclicBufferLargeEnough) {
    auto capture = MakeStream(ddCapture);
    StartAndSettle(*capture);
    Run(*capture, 5);
    EXPECT_THAT(InFirsts, ElementsAreArray(BlockStarts(0, 5)));
    capture->Stop();

    auto render = MakeStream(ddRender);
    Calls = 0;
    StartAndSettle(*render);
    Run(*render, 4);
    EXPECT_THAT(Played.Get().Firsts, ElementsAre(0, 1, 2, 3, 4));
    render->Stop();

    // a cyclic buffer smaller than two buffers ends the stream instead of being overrun
    Sim.Faults(kSpeaker, 0).RtBufferShortfall = 4;
    Calls = 0;
    StartAndSettle(*render);
    Sync.CheckSynchronize(10ms);
    EXPECT_THAT(Ended, ElementsAre("02  Speaker: the driver granted a cyclic buffer of 3836 "
                                   "bytes, 3840 are needed"));
    EXPECT_EQ(Calls, 0);
    render->Stop();
}

} // namespace
} // namespace sonari
