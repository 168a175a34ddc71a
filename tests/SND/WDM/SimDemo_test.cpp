#include "SND/WDM/Sim/SimDemo.h"

#include "SND/Levels.h"
#include "SimFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonari {
namespace {

using namespace std::chrono_literals;

TEST(DemoVoice, IsTheSameEveryTimeAndPeaksAtMinusSixDecibels) {
    const TSingleArray voice = BuiltInDemoVoice();
    EXPECT_EQ(voice, BuiltInDemoVoice());
    const double seconds = double(voice.size()) / kDemoVoiceRate;
    EXPECT_GT(seconds, 2.0);
    EXPECT_LT(seconds, 8.0);
    float peak = 0;
    for (float x : voice)
        peak = std::max(peak, std::fabs(x));
    EXPECT_NEAR(double(GainToDb(peak / kFullScale)), -6.02, 0.05);
}

// Share of the signal's energy between lowHz and highHz, by direct DFT of one stretch.
double BandShare(const TSingleArray& x, size_t first, size_t count, double lowHz, double highHz) {
    double band = 0, total = 0;
    for (size_t k = 1; k < count / 2; ++k) {
        double re = 0, im = 0;
        for (size_t n = 0; n < count; ++n) {
            const double w = 2 * std::numbers::pi * double(k * n) / double(count);
            re += x[first + n] * std::cos(w);
            im -= x[first + n] * std::sin(w);
        }
        const double power = re * re + im * im;
        const double hz = double(k) * kDemoVoiceRate / double(count);
        total += power;
        band += (hz >= lowHz && hz <= highHz) ? power : 0;
    }
    return band / total;
}

// Period in samples with the highest autocorrelation between minLag and maxLag.
size_t PitchPeriod(const TSingleArray& x, size_t first, size_t count, size_t minLag,
                   size_t maxLag) {
    size_t best = 0;
    double bestValue = -1;
    for (size_t lag = minLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (size_t n = 0; n < count; ++n)
            sum += double(x[first + n]) * x[first + n + lag];
        if (sum > bestValue) {
            bestValue = sum;
            best = lag;
        }
    }
    return best;
}

TEST(DemoVoice, SpeaksInSyllablesWithAVoicePitchAndSpeechBandEnergy) {
    const TSingleArray voice = BuiltInDemoVoice();
    const size_t frame = kDemoVoiceRate / 50; // 20 ms
    size_t loud = 0, frames = 0, loudest = 0;
    double loudestEnergy = 0;
    for (size_t at = 0; at + frame <= voice.size(); at += frame, ++frames) {
        double energy = 0;
        for (size_t i = at; i < at + frame; ++i)
            energy += double(voice[i]) * voice[i];
        loud += energy / frame > std::pow(0.05 * kFullScale, 2);
        if (energy > loudestEnergy) {
            loudestEnergy = energy;
            loudest = at;
        }
    }
    // Speech pauses between syllables and words.
    EXPECT_GT(double(loud) / frames, 0.3);
    EXPECT_LT(double(loud) / frames, 0.9);
    // A male speaking pitch: 90..160 Hz.
    const size_t period =
        PitchPeriod(voice, loudest, 480, kDemoVoiceRate / 160, kDemoVoiceRate / 90);
    EXPECT_GT(period, size_t{kDemoVoiceRate / 160});
    EXPECT_LT(period, size_t{kDemoVoiceRate / 90});
    EXPECT_GT(BandShare(voice, loudest, 1200, 200, 3500), 0.8);
}

class Demo : public test::TSimFixture {
protected:
    void SetUp() override { AddDemoDevices(Sim); }
};

TEST_F(Demo, TheMicrophoneLoopsTheGivenVoiceAtTheDeviceRateAndTheTransmitterHandsItOn) {
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
}

TEST_F(Demo, WithoutAGivenVoiceTheMicrophoneSpeaksTheBuiltInOne) {
    SetDemoVoice(Sim, {0.0f});
    SetDemoVoice(Sim, {}); // back to the built-in voice
    Build();
    TWdmAudioStream stream(*Audio, Sync);
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
    const TSingleArray voice = BuiltInDemoVoice();
    ASSERT_EQ(captured.size(), 12000u);
    // 32-bit samples: the voice rounded to whole numbers.
    for (size_t i = 0; i < captured.size(); ++i)
        ASSERT_EQ(captured[i], std::nearbyint(voice[i])) << i;
}

} // namespace
} // namespace sonari
