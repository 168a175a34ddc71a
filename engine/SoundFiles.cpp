#include "engine/SoundFiles.h"

#include "SND/WavFile.h"

#include <cmath>
#include <numbers>

namespace sonari {

std::string WrongRateMessage(const std::string& fileName) {
    return "Incorrect sampling rate in " + fileName + ", must be 12 KHz";
}

TSingleArray ReadWavFile(const std::string& fileName,
                         const std::function<void(const std::string& message)>& onWrongRate) {
    // A reader of its own, so that reading never disturbs a file being written.
    TKelWavFile wav;
    wav.SetFileName(fileName);
    wav.OpenRead();
    TSingleArray samples;
    if (wav.SamplesPerSec() == kSoundFileRate) {
        TDataBufferF frames = wav.Read(wav.SampleCount());
        if (!frames.empty())
            samples = std::move(frames[0]);
    } else if (onWrongRate) {
        onWrongRate(WrongRateMessage(fileName));
    }
    wav.Close();
    return samples;
}

void RemoveDc(TSingleArray& samples) {
    if (samples.empty())
        return;
    float sum = 0.0f;
    for (float x : samples)
        sum += x;
    const float mean = sum / static_cast<float>(samples.size());
    for (float& x : samples)
        x -= mean;
}

float PeakOf(const TSingleArray& samples) {
    if (samples.empty())
        return 0.0f;
    float smallest = 2147483648.0f;
    float largest = -2147483648.0f;
    for (float x : samples) {
        if (x < smallest)
            smallest = x;
        if (x > largest)
            largest = x;
    }
    return (largest - smallest) / 2.0f;
}

void FadeBlock(TSingleArray& samples, bool rising) {
    const long double n = static_cast<long double>(samples.size());
    const long double sign = rising ? -1.0L : 1.0L;
    for (size_t i = 0; i < samples.size(); ++i) {
        const long double gain =
            0.5L * (1.0L + sign * std::cos(std::numbers::pi_v<long double> * i / n));
        samples[i] = static_cast<float>(samples[i] * gain);
    }
}

} // namespace sonari
