// Makes the sound files shipped with Sonari, all 12000 samples/s, 16-bit mono:
//   Qrn.wav        atmospheric noise: receiver-filtered hiss with static crashes and crackle
//   Qrm.wav        interference: drifting heterodynes, a keyed carrier and a mistuned SSB voice
//   DemoVoice.wav  the phrase the simulated demo microphone speaks
// Speech comes from espeak-ng, run here; everything else from a fixed-seed generator of our
// own, so a rerun with the same espeak-ng gives the same bytes.
//
// Usage: MakeNoiseFiles <output folder>

#include "SND/Exceptions.h"
#include "SND/WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using namespace sonari;
namespace fs = std::filesystem;
using TSignal = std::vector<double>;

constexpr double kRate = 12000.0;
constexpr size_t kNoiseLength = 8 * 12000;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// SplitMix64: a few lines whose output is the same everywhere, unlike the standard
// library's distributions.
class TRandom {
public:
    explicit TRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // [0, 1)
    double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }
    double Between(double low, double high) { return low + (high - low) * Uniform(); }
    // Approximately normal, unit variance: the sum of twelve uniforms.
    double Gauss() {
        double sum = -6.0;
        for (int i = 0; i < 12; ++i)
            sum += Uniform();
        return sum;
    }

private:
    uint64_t state_;
};

// Second-order section, direct form I; low-pass or high-pass from the audio-EQ cookbook.
class TBiquad {
public:
    TBiquad(bool highPass, double cutoffHz, double q) {
        const double w = kTwoPi * cutoffHz / kRate, alpha = std::sin(w) / (2.0 * q);
        const double c = std::cos(w), a0 = 1.0 + alpha;
        const double edge = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
        b_[0] = b_[2] = edge / a0;
        b_[1] = (highPass ? -2.0 * edge : 2.0 * edge) / a0;
        a_[0] = -2.0 * c / a0;
        a_[1] = (1.0 - alpha) / a0;
    }
    double Step(double x) {
        const double y = b_[0] * x + b_[1] * x1_ + b_[2] * x2_ - a_[0] * y1_ - a_[1] * y2_;
        x2_ = x1_, x1_ = x, y2_ = y1_, y1_ = y;
        return y;
    }

private:
    double b_[3], a_[2];
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// A receiver's SSB passband: 4th-order Butterworth high-pass and low-pass.
TSignal BandPass(const TSignal& x, double lowHz, double highHz) {
    TBiquad stages[] = {{true, lowHz, 0.5412},
                        {true, lowHz, 1.3066},
                        {false, highHz, 0.5412},
                        {false, highHz, 1.3066}};
    TSignal y(x.size());
    for (size_t n = 0; n < x.size(); ++n) {
        double v = x[n];
        for (TBiquad& stage : stages)
            v = stage.Step(v);
        y[n] = v;
    }
    return y;
}

double Blackman(double x) { // x in [-1, 1]
    return 0.42 + 0.5 * std::cos(std::numbers::pi * x) + 0.08 * std::cos(kTwoPi * x);
}

// Windowed-sinc interpolation to 12000 samples/s, cut off at 5 kHz.
TSignal Resample(const TSignal& x, double fromHz) {
    constexpr int kHalf = 64; // taps each side, at the input rate
    const double cutoff = std::min(5000.0, 0.45 * fromHz) / fromHz;
    const double step = fromHz / kRate;
    TSignal y(size_t(double(x.size()) / step));
    for (size_t n = 0; n < y.size(); ++n) {
        const double t = double(n) * step;
        const long centre = long(std::floor(t));
        double sum = 0.0;
        for (long i = centre - kHalf + 1; i <= centre + kHalf; ++i) {
            if (i < 0 || i >= long(x.size()))
                continue;
            const double d = t - double(i);
            // 2 fc sinc(2 fc d), Blackman-windowed
            const double kernel =
                d == 0.0 ? 2.0 * cutoff : std::sin(kTwoPi * cutoff * d) / (std::numbers::pi * d);
            sum += x[size_t(i)] * kernel * Blackman(d / kHalf);
        }
        y[n] = sum;
    }
    return y;
}

// Moves the whole spectrum up by shiftHz, as a receiver tuned off an SSB signal does:
// analytic signal through a windowed Hilbert FIR, then a complex mix.
TSignal ShiftFrequency(const TSignal& x, double shiftHz) {
    constexpr int kHalf = 127;
    std::vector<double> h(2 * kHalf + 1, 0.0); // h[k] = 2 / (pi k) for odd k
    for (int k = 1; k <= kHalf; k += 2) {
        const double tap = 2.0 / (std::numbers::pi * k) * Blackman(double(k) / (kHalf + 1));
        h[size_t(kHalf + k)] = tap;
        h[size_t(kHalf - k)] = -tap;
    }
    TSignal y(x.size());
    for (size_t n = 0; n < x.size(); ++n) {
        double quadrature = 0.0;
        for (int k = -kHalf; k <= kHalf; ++k) {
            const long i = long(n) - k;
            if (i >= 0 && i < long(x.size()))
                quadrature += h[size_t(k + kHalf)] * x[size_t(i)];
        }
        const double phase = kTwoPi * shiftHz * double(n) / kRate;
        y[n] = x[n] * std::cos(phase) - quadrature * std::sin(phase);
    }
    return y;
}

// Slow random level changes (fading), around 1.
TSignal Fading(TRandom& rng, size_t length, double depth, double rateHz) {
    const double p1 = rng.Between(0, kTwoPi), p2 = rng.Between(0, kTwoPi);
    TSignal g(length);
    for (size_t n = 0; n < length; ++n) {
        const double t = double(n) / kRate;
        g[n] = 1.0 + depth * (0.6 * std::sin(kTwoPi * rateHz * t + p1) +
                              0.4 * std::sin(kTwoPi * 2.7 * rateHz * t + p2));
    }
    return g;
}

// One lightning discharge: a few strokes of broadband noise, each with a sharp attack and
// an exponential tail.
void AddCrash(TSignal& x, TRandom& rng, size_t at, double amplitude) {
    const int strokes = 1 + int(rng.Uniform() * 4.0);
    for (int s = 0; s < strokes && at < x.size(); ++s) {
        const double attack = rng.Between(0.0005, 0.002) * kRate;
        const double decay = rng.Between(0.008, 0.06) * kRate;
        const double level = amplitude * (s == 0 ? 1.0 : rng.Between(0.3, 0.9));
        for (size_t n = 0; n < size_t(8 * decay) && at + n < x.size(); ++n) {
            const double envelope =
                std::min(1.0, double(n) / attack) * std::exp(-double(n) / decay);
            x[at + n] += level * envelope * rng.Gauss();
        }
        at += size_t(rng.Between(0.02, 0.09) * kRate);
    }
}

TSignal MakeQrn() {
    TRandom rng(0x51524E); // "QRN"
    TSignal x(kNoiseLength);
    const TSignal fading = Fading(rng, x.size(), 0.3, 0.11);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = 0.05 * fading[n] * rng.Gauss();
    // Crashes arrive at random, about one and a half per second; their sizes are heavy-tailed.
    for (double t = rng.Between(0.1, 0.5); t < 8.0; t += -std::log(1.0 - rng.Uniform()) / 1.5)
        AddCrash(x, rng, size_t(t * kRate),
                 std::min(2.0, 0.25 * std::pow(rng.Uniform() + 0.02, -0.7)));
    // Crackle: many faint, short clicks.
    for (double t = 0.0; t < 8.0; t += -std::log(1.0 - rng.Uniform()) / 25.0) {
        const size_t at = size_t(t * kRate);
        if (at + 1 < x.size()) {
            const double click = rng.Between(0.1, 0.4) * (rng.Uniform() < 0.5 ? -1.0 : 1.0);
            x[at] += click;
            x[at + 1] -= 0.6 * click;
        }
    }
    return BandPass(x, 300.0, 2700.0);
}

// A carrier whose pitch wanders: the heterodyne of a nearby AM station or a drifting rig.
void AddHeterodyne(TSignal& x, double startHz, double endHz, double wobbleHz, double level,
                   const TSignal& fading) {
    double phase = 0.0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double t = double(n) / kRate, progress = double(n) / double(x.size());
        const double hz =
            startHz + (endHz - startHz) * progress + wobbleHz * std::sin(kTwoPi * 0.4 * t);
        phase = std::fmod(phase + kTwoPi * hz / kRate, kTwoPi);
        x[n] += level * fading[n] * std::sin(phase);
    }
}

// Morse "CQ TEST" at 22 words per minute on a slightly chirpy carrier, with soft key edges.
void AddKeyedCarrier(TSignal& x, double hz, double level) {
    const std::string code = "-.-. --.-   - . ... -   ";
    const double dot = 1.2 / 22.0, edge = 0.005;
    std::vector<std::pair<double, double>> marks; // key-down intervals in seconds
    double t = 0.6;
    while (t < 8.0) {
        for (char symbol : code) {
            if (symbol == ' ') {
                t += 2.0 * dot; // with the gap after each symbol: 3 dots between letters
                continue;
            }
            const double length = symbol == '.' ? dot : 3.0 * dot;
            marks.emplace_back(t, t + length);
            t += length + dot;
        }
        t += 1.5;
    }
    for (const auto& [on, off] : marks) {
        double phase = 0.0;
        for (size_t n = size_t(on * kRate); n < size_t(off * kRate) && n < x.size(); ++n) {
            const double s = double(n) / kRate;
            const double key = std::min({1.0, (s - on) / edge, (off - s) / edge});
            const double chirpHz = 6.0 * std::exp(-(s - on) / 0.01);
            phase = std::fmod(phase + kTwoPi * (hz + chirpHz) / kRate, kTwoPi);
            x[n] += level * key * std::sin(phase);
        }
    }
}

// Runs a program without a shell; fails unless it exits with 0.
void RunProgram(const std::vector<std::string>& arguments, const std::string& outputFile = {}) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputFile.empty())
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw Exception("Cannot run " + arguments[0] + " (is it installed?)");
}

class TSpeech {
public:
    TSpeech() {
        std::string pattern = (fs::temp_directory_path() / "sonari-speech-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw Exception("Cannot create a temporary folder");
        dir_ = pattern;
        RunProgram({"espeak-ng", "--version"}, (dir_ / "version").string());
        const std::string text = ReadText(dir_ / "version");
        // "eSpeak NG text-to-speech: 1.51  Data at: ..."
        const size_t at = text.find(": ");
        version_ = text.substr(at + 2, text.find(' ', at + 2) - at - 2);
    }
    ~TSpeech() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const std::string& Version() const { return version_; }

    // The phrase at 12000 samples/s on a +-1 scale.
    TSignal Say(const std::string& text, const std::vector<std::string>& voice) {
        const std::string file = (dir_ / "speech.wav").string();
        std::vector<std::string> arguments = {"espeak-ng", "-w", file};
        arguments.insert(arguments.end(), voice.begin(), voice.end());
        arguments.push_back(text);
        RunProgram(arguments);
        TKelWavFile wav;
        wav.SetFileName(file);
        wav.OpenRead();
        const TSingleArray samples = wav.Read(wav.SampleCount())[0];
        const double rate = wav.SamplesPerSec();
        wav.Close();
        TSignal x(samples.size());
        for (size_t n = 0; n < x.size(); ++n)
            x[n] = double(samples[n]) * 0x1.0p-31;
        return Resample(x, rate);
    }

private:
    static std::string ReadText(const fs::path& path) {
        std::string text;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char buffer[512];
            text.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
            std::fclose(f);
        }
        if (text.find(": ") == std::string::npos)
            throw Exception("Unexpected output of espeak-ng --version");
        return text;
    }

    fs::path dir_;
    std::string version_;
};

TSignal MakeQrm(TSpeech& speech) {
    TRandom rng(0x51524D); // "QRM"
    TSignal x(kNoiseLength);
    for (double& v : x)
        v = 0.004 * rng.Gauss();
    AddHeterodyne(x, 1130.0, 1175.0, 3.0, 0.10, Fading(rng, x.size(), 0.2, 0.3));
    AddHeterodyne(x, 2260.0, 2195.0, 1.0, 0.05, Fading(rng, x.size(), 0.6, 0.17));
    AddKeyedCarrier(x, 640.0, 0.12);

    // A contest station a little off frequency: its own transmit filter, then shifted up.
    const TSignal voice = ShiftFrequency(
        BandPass(speech.Say("QRZ contest, QRZ? Five nine nine zero one four, thank you. "
                            "QRZ contest, this is the contest station, QRZ?",
                            {"-v", "en-us", "-s", "175", "-p", "35"}),
                 250.0, 2800.0),
        230.0);
    const TSignal fading = Fading(rng, x.size(), 0.35, 0.09);
    const size_t start = size_t(0.3 * kRate);
    for (size_t n = start; n < x.size() && n - start < voice.size(); ++n)
        x[n] += 0.45 * fading[n] * voice[n - start];
    return BandPass(x, 300.0, 2700.0);
}

TSignal MakeDemoVoice(TSpeech& speech) {
    const TSignal spoken = speech.Say("CQ CQ CQ, this is a Sonari demonstration.", {"-s", "150"});
    TBiquad dcBlock(true, 60.0, 0.7071);
    TSignal x(spoken.size() + size_t(0.5 * kRate), 0.0); // a breath before the loop restarts
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = dcBlock.Step(n < spoken.size() ? spoken[n] : 0.0);
    return x;
}

// 16-bit samples scaled to the given peak, rounded half to even.
void Save(const fs::path& path, const TSignal& x, double peakDbfs,
          const std::vector<std::string>& info) {
    double peak = 0.0;
    for (double v : x)
        peak = std::max(peak, std::fabs(v));
    const double gain = peak > 0.0 ? std::pow(10.0, peakDbfs / 20.0) * 32767.0 / peak : 0.0;
    TDataBufferF data(1, TSingleArray(x.size()));
    for (size_t n = 0; n < x.size(); ++n)
        data[0][n] = float(std::nearbyint(x[n] * gain) * 65536.0); // exact: 16 significant bits
    TKelWavFile wav;
    wav.SetFileName(path.string());
    wav.SetSamplesPerSec(12000);
    wav.SetBytesPerSample(2);
    wav.SetInfo(info);
    wav.OpenWrite();
    wav.Write(data);
    wav.Close();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: " << argv[0] << " <output folder>\n";
        return 2;
    }
    try {
        const fs::path folder = argv[1];
        fs::create_directories(folder);
        TSpeech speech;
        const std::string made = "ISFT=Sonari MakeNoiseFiles";
        const std::string withSpeech = made + ", espeak-ng " + speech.Version();
        Save(folder / "Qrn.wav", MakeQrn(), -1.0,
             {"INAM=QRN", "ICMT=Atmospheric noise with static crashes", made});
        Save(folder / "Qrm.wav", MakeQrm(speech), -1.0,
             {"INAM=QRM", "ICMT=Heterodynes, a keyed carrier and a mistuned voice", withSpeech});
        Save(folder / "DemoVoice.wav", MakeDemoVoice(speech), -6.0,
             {"INAM=Demo voice", withSpeech});
    } catch (const std::exception& e) {
        std::cerr << argv[0] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
