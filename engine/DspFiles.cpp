#include "engine/Dsp.h"

#include "SND/Exceptions.h"
#include "engine/SoundFiles.h"

#include <filesystem>
#include <system_error>

namespace sonari {

namespace {

constexpr const char* kRecordPrompt = "Click on OK to start recording:";

} // namespace

void TDsp::LoadSoundFiles() {
    WavDir = folders_.UserWavDir;
    const auto showError = [this](const std::string& message) { view_.ShowError(message); };
    try {
        Qrm = ReadWavFile(FindSoundFile(folders_, "Qrm.wav"), showError);
        Qrn = ReadWavFile(FindSoundFile(folders_, "Qrn.wav"), showError);
        // A file rejected for its rate leaves its recording empty and the mixer unusable.
        if (!Qrm.empty() && !Qrn.empty())
            view_.EnableAddNoise();
    } catch (const std::exception& e) {
        view_.ShowError(e.what());
    }
    RemoveDc(Qrm);
    NoisePeak[0] = PeakOf(Qrm);
    RemoveDc(Qrn);
    NoisePeak[1] = PeakOf(Qrn);
    LoadVoice();
    NoiseSnrDb = 10.0f;
}

void TDsp::LoadVoice() {
    try {
        Voice = ReadWavFile(WavDir + "Voice.wav",
                            [this](const std::string& message) { view_.ShowError(message); });
    } catch (const std::exception&) {
        return; // no recording yet: step 4 stays unavailable
    }
    RemoveDc(Voice);
    view_.EnablePlayButton();
}

// The file is opened only once the device runs, so a device that fails to start never
// truncates the previous recording; no block arrives before the start returns.
void TDsp::StartRecording() {
    if (!view_.Confirm(kRecordPrompt)) {
        view_.RequestStop();
        return;
    }
    StartInput();
    OpenForWriting("Voice.wav", static_cast<uint32_t>(Wdm.InputDevice().BitsPerSample / 8));
}

void TDsp::StartOutputToFile() {
    StartOutput();
    OpenForWriting("Out.wav", 2);
}

void TDsp::OpenForWriting(const std::string& name, uint32_t bytesPerSample) {
    try {
        std::error_code error;
        if (!WavDir.empty())
            std::filesystem::create_directories(WavDir, error);
        if (error)
            throw Exception("Unable to create directory " + WavDir + ": " + error.message());
        Wav.SetFloatFmt(false);
        Wav.SetChannelCount(1);
        Wav.SetBytesPerSample(bytesPerSample);
        Wav.SetSamplesPerSec(kProcessingRate);
        Wav.SetFileName(WavDir + name);
        Wav.OpenWrite();
    } catch (...) {
        Stop();
        throw;
    }
}

void TDsp::WriteWavBlock(const TSingleArray& block) {
    TSingleArray& copy = fileBlock_[0];
    copy.assign(block.begin(), block.end());
    if (BlockCount == 0) {
        FadeBlock(copy, true);
    } else if (Wav.SampleCount() >= kFileLimit) {
        FadeBlock(copy, false);
        view_.RecordingComplete();
    }
    Wav.Write(fileBlock_);
    const int64_t product = int64_t{view_.ProgressMax()} * Wav.SampleCount();
    view_.SetProgressPosition(RoundToInt(static_cast<long double>(product) / kFileLimit));
}

} // namespace sonari
