// What the engine and the demo microphone expect of the shipped sound files.

#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace sonari {
namespace {

struct TLevels {
    double peakDbfs, rmsDbfs, meanDbfs, seconds;
};

TLevels Measure(const std::filesystem::path& path) {
    const test::TWavContents wav = test::ReadWav(path.string());
    EXPECT_EQ(wav.Rate, 12000u) << path;
    EXPECT_EQ(wav.Channels.size(), 1u) << path;
    EXPECT_EQ(wav.BytesPerSample, 2u) << path;
    long double peak = 0, sum = 0, squares = 0;
    for (float v : wav.Channels[0]) {
        peak = std::max(peak, std::fabs((long double)v));
        sum += v;
        squares += (long double)v * v;
    }
    const long double n = wav.Channels[0].size(), fullScale = 2147483648.0L;
    auto db = [&](long double v) { return double(20 * std::log10(v / fullScale + 1e-99L)); };
    return {db(peak), db(std::sqrt(squares / n)), db(std::fabs(sum / n)), double(n / 12000)};
}

TEST(ShippedSoundFiles, AreTwelveKilohertzMonoAtTheirIntendedLevels) {
    const auto folder = test::SourceDir() / "data" / "Wav";
    const TLevels qrn = Measure(folder / "Qrn.wav");
    const TLevels qrm = Measure(folder / "Qrm.wav");
    const TLevels voice = Measure(folder / "DemoVoice.wav");
    for (const TLevels& noise : {qrn, qrm}) {
        EXPECT_NEAR(noise.seconds, 8.0, 0.01);
        EXPECT_NEAR(noise.peakDbfs, -1.0, 0.01);
        EXPECT_LT(noise.meanDbfs, -60.0);
    }
    // Static crashes stand far above the hiss between them; interference is steadier.
    EXPECT_GT(qrn.peakDbfs - qrn.rmsDbfs, 20.0);
    EXPECT_LT(qrm.peakDbfs - qrm.rmsDbfs, 20.0);
    EXPECT_NEAR(voice.peakDbfs, -6.0, 0.01);
    EXPECT_GT(voice.seconds, 3.0);
    EXPECT_LT(voice.seconds, 8.0);
    EXPECT_LT(voice.meanDbfs, -60.0);
    // The build puts them beside the programs, where they are looked for.
    for (const char* name : {"Qrn.wav", "Qrm.wav", "DemoVoice.wav"})
        EXPECT_EQ(test::ReadFileBytes(test::BinaryDir() / "bin" / "Wav" / name),
                  test::ReadFileBytes(folder / name));
}

} // namespace
} // namespace sonari
