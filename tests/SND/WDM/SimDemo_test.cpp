#include "SND/WDM/Sim/SimDemo.h"

#include "SND/Levels.h"
#include "SimFixture.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sonari {
namespace {

using namespace std::chrono_literals;

class Demo : public test::TSimFixture {
protected:
    void SetUp() override { AddDemoDevices(Sim); }
};

TEST_F(Demo, TheMicrophoneLoopsTheGivenVoiceOrTheBuiltInOneAndTheTransmitterHandsItOn) {
    const TSingleArray voice = {0, 65536 * 100.0f, 65536 * 300.0f, -65536 * 100.0f};
    SetDemoVoice(Sim, voice);
    TSingleArray heard;
    SetDemoTransmitterSink(Sim, [&](int64_t, int32_t rate, const TDataBufferF& block) {
        EXPECT_EQ(rate, 24000);
        heard.insert(heard.end(), block[0].begin(), block[0].end());
    });
    Build();
    TWdmAudioStream stream(*Audio, Sync);
    stream.SetInputDevice(TDeviceSettings{0, 1, 16, 24000, 8});
    stream.SetOutputDevice(TDeviceSettings{1, 1, 16, 24000, 8});
    stream.OnData = [](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        out[0] = in[0];
    };
    stream.Start();
    Settle(stream);
    Run(stream, 6, 8, 24000);
    stream.Stop();
    // Two silent priming buffers, then the voice at twice its rate: every second sample is
    // the midpoint of its neighbours, and the loop closes from the last sample to the first.
    const std::vector<float> expected = {0, 50, 100, 200, 300, 100, -100, -50, 0, 50, 100, 200};
    ASSERT_GE(heard.size(), 16 + expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(heard[16 + i], expected[i] * 65536.0f) << i;

    // without a given voice the microphone speaks the built-in one
    SetDemoVoice(Sim, {});
    stream.SetDirections(ddCapture);
    stream.SetInputDevice(TDeviceSettings{0, 1, 32, 12000, 12000});
    TSingleArray captured;
    stream.OnData = [&](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF&) {
        captured = in[0];
    };
    stream.Start();
    Settle(stream);
    Run(stream, 1, 12000, 12000);
    stream.Stop();
    // the built-in voice: the same every time, 2 to 8 s long, peaking at -6 dBFS
    const TSingleArray builtIn = BuiltInDemoVoice();
    EXPECT_EQ(builtIn, BuiltInDemoVoice());
    const double seconds = double(builtIn.size()) / kDemoVoiceRate;
    EXPECT_GT(seconds, 2.0);
    EXPECT_LT(seconds, 8.0);
    EXPECT_NEAR(double(GainToDb(test::Peak(builtIn) / kFullScale)), -6.02, 0.05);
    ASSERT_EQ(captured.size(), 12000u);
    // 32-bit samples: the voice rounded to whole numbers.
    for (size_t i = 0; i < captured.size(); ++i)
        ASSERT_EQ(captured[i], std::nearbyint(builtIn[i])) << i;
}

} // namespace
} // namespace sonari
