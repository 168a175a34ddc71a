#include "SND/WDM/Sim/SimDemo.h"

#include "SND/Levels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace sonari {

namespace {

constexpr double kFs = kDemoVoiceRate;
constexpr double kPeak = 0.5 * kFullScale; // -6 dBFS

struct TVowel {
    std::array<double, 3> FormantsHz;
};
// Average adult formants of five vowels.
constexpr std::array<TVowel, 5> kVowels = {{{{730, 1090, 2440}},
                                            {{270, 2290, 3010}},
                                            {{300, 870, 2240}},
                                            {{530, 1840, 2480}},
                                            {{570, 840, 2410}}}};
constexpr std::array<double, 3> kBandwidthsHz = {80, 100, 140};

struct TSyllable {
    double StartS;
    double LengthS;
    int Vowel;
    double PitchHz;
};

// Words of two to four syllables with pauses between them, like a short call.
std::vector<TSyllable> Syllables() {
    const std::array<int, 6> wordLengths = {2, 2, 3, 2, 4, 3};
    std::vector<TSyllable> syllables;
    double t = 0.25;
    int n = 0;
    for (int length : wordLengths) {
        for (int s = 0; s < length; ++s, ++n) {
            const double lengthS = 0.15 + 0.05 * ((n * 7) % 3);
            const double pitch = 135.0 - 4.0 * n + (s == 0 ? 12.0 : 0.0); // declination + accent
            syllables.push_back({t, lengthS, (n * 3) % 5, pitch});
            t += lengthS + 0.04;
        }
        t += 0.22;
    }
    return syllables;
}

// Rosenberg glottal pulse at phase 0..1 of a period: opening 40 %, closing 16 %, then closed.
double GlottalPulse(double phase) {
    if (phase < 0.4)
        return 0.5 * (1.0 - std::cos(std::numbers::pi * phase / 0.4));
    if (phase < 0.56)
        return std::cos(std::numbers::pi * (phase - 0.4) / 0.32);
    return 0.0;
}

// Two-pole resonator: y = g x + a1 y[-1] + a2 y[-2], unity gain at its centre.
struct TResonator {
    double A1 = 0, A2 = 0, G = 0, Y1 = 0, Y2 = 0;
    void Tune(double hz, double bandwidthHz) {
        const double r = std::exp(-std::numbers::pi * bandwidthHz / kFs);
        A1 = 2.0 * r * std::cos(2.0 * std::numbers::pi * hz / kFs);
        A2 = -r * r;
        G = (1.0 - r) *
            std::sqrt(1.0 - 2.0 * r * std::cos(4.0 * std::numbers::pi * hz / kFs) + r * r);
    }
    double Step(double x) {
        const double y = G * x + A1 * Y1 + A2 * Y2;
        Y2 = Y1;
        Y1 = y;
        return y;
    }
};

double SyllableEnvelope(double t, double lengthS) {
    const double attack = 0.03, release = 0.06;
    if (t < 0 || t > lengthS)
        return 0.0;
    if (t < attack)
        return 0.5 * (1.0 - std::cos(std::numbers::pi * t / attack));
    if (t > lengthS - release)
        return 0.5 * (1.0 + std::cos(std::numbers::pi * (t - (lengthS - release)) / release));
    return 1.0;
}

TSimSource VoiceSource(std::shared_ptr<const TSingleArray> voice) {
    return [voice](int64_t firstFrame, int32_t rate, TDataBufferF& block) {
        const TSingleArray& v = *voice;
        if (v.empty() || block.empty())
            return;
        const long double step = static_cast<long double>(kDemoVoiceRate) / rate;
        const size_t size = v.size();
        for (size_t f = 0; f < block[0].size(); ++f) {
            // Linear interpolation of the looped 12 kHz voice at the device's frame.
            const long double position = (firstFrame + static_cast<int64_t>(f)) * step;
            const auto whole = static_cast<uint64_t>(position);
            const float fraction = static_cast<float>(position - whole);
            const float a = v[whole % size];
            const float b = v[(whole + 1) % size];
            const float x = a + (b - a) * fraction;
            for (TSingleArray& channel : block)
                channel[f] = x;
        }
    };
}

} // namespace

TSingleArray BuiltInDemoVoice() {
    const std::vector<TSyllable> syllables = Syllables();
    const double lengthS = syllables.back().StartS + syllables.back().LengthS + 0.6;
    std::vector<double> out(static_cast<size_t>(lengthS * kFs), 0.0);
    std::array<TResonator, 3> resonators;
    double phase = 0.0, previous = 0.0;
    uint32_t noise = 12345;
    for (const TSyllable& syllable : syllables) {
        for (size_t k = 0; k < 3; ++k)
            resonators[k].Tune(kVowels[static_cast<size_t>(syllable.Vowel)].FormantsHz[k],
                               kBandwidthsHz[k]);
        const auto first = static_cast<size_t>(syllable.StartS * kFs);
        const auto count = static_cast<size_t>(syllable.LengthS * kFs);
        for (size_t i = 0; i < count && first + i < out.size(); ++i) {
            const double t = static_cast<double>(i) / kFs;
            const double pitch = syllable.PitchHz * (1.0 - 0.08 * t / syllable.LengthS);
            phase = std::fmod(phase + pitch / kFs, 1.0);
            const double pulse = GlottalPulse(phase);
            double source = pulse - previous; // lip radiation: first difference
            previous = pulse;
            noise = noise * 1664525u + 1013904223u; // breath noise at the onset
            if (t < 0.04)
                source += 0.02 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
            double y = source;
            for (TResonator& r : resonators)
                y = r.Step(y);
            out[first + i] = y * SyllableEnvelope(t, syllable.LengthS);
        }
    }
    double peak = 0.0;
    for (double x : out)
        peak = std::max(peak, std::fabs(x));
    TSingleArray voice(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        voice[i] = static_cast<float>(peak > 0 ? out[i] * kPeak / peak : 0.0);
    return voice;
}

std::unique_ptr<TSimPlatform> CreateDemoPlatform() {
    auto platform = std::make_unique<TSimPlatform>(TSimPlatform::scRealTime);
    AddDemoDevices(*platform);
    return platform;
}

void AddDemoDevices(TSimPlatform& platform) {
    // Paths are the devices' keys: settings saved with the demo find them again.
    TSimDevice microphone = SimDevice("Demo microphone", {SimPin(false, 2, 16, 32, 8000, 48000)});
    microphone.Path = "sim:demo-microphone";
    TSimDevice transmitter = SimDevice("Demo transmitter", {SimPin(true, 2, 16, 32, 8000, 48000)});
    transmitter.Path = "sim:demo-transmitter";
    platform.AddDevice(std::move(microphone));
    platform.AddDevice(std::move(transmitter));
    SetDemoVoice(platform, {});
}

void SetDemoVoice(TSimPlatform& platform, TSingleArray samples) {
    if (samples.empty())
        samples = BuiltInDemoVoice();
    auto voice = std::make_shared<const TSingleArray>(std::move(samples));
    platform.SetSource(kDemoMicrophone, 0, VoiceSource(std::move(voice)));
}

void SetDemoTransmitterSink(TSimPlatform& platform, TSimSink sink) {
    platform.SetSink(kDemoTransmitter, 0, std::move(sink));
}

} // namespace sonari
