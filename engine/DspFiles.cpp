#include "engine/Dsp.h"

#include "engine/SoundFiles.h"

namespace sonari {

void TDsp::LoadSoundFiles() {
    const auto showError = [this](const std::string& message) { view_.Error(message); };
    try {
        qrm_ = ReadWavFile(FindSoundFile(folders_, "Qrm.wav"), showError);
        qrn_ = ReadWavFile(FindSoundFile(folders_, "Qrn.wav"), showError);
    } catch (const std::exception& e) {
        view_.Error(e.what());
    }
    RemoveDc(qrm_);
    noisePeak_[0] = PeakOf(qrm_);
    RemoveDc(qrn_);
    noisePeak_[1] = PeakOf(qrn_);
    LoadVoice();
    SetNoiseSnrDb(10.0f);
}

bool TDsp::LoadVoice() {
    TSingleArray voice;
    try {
        voice = ReadWavFile(folders_.UserWavDir + "Voice.wav",
                            [this](const std::string& message) { view_.Error(message); });
    } catch (const std::exception&) {
        return false; // no recording yet: step 4 stays unavailable
    }
    RemoveDc(voice);
    voice_ = std::move(voice);
    return true;
}

void TDsp::StartRecording() {
    StartInput();
    // A cancelled or failed recording must not cost the last complete one.
    file_.SetReplaceOnlyWhenComplete(true);
    OpenFile("Voice.wav", static_cast<uint32_t>(wdm_.InputDevice().BitsPerSample / 8));
}

void TDsp::StartOutputToFile() {
    StartOutput();
    file_.SetReplaceOnlyWhenComplete(false);
    OpenFile("Out.wav", 2);
}

void TDsp::OpenFile(const std::string& name, uint32_t bytesPerSample) {
    try {
        file_.Open(folders_.UserWavDir + name, bytesPerSample);
    } catch (...) {
        Stop();
        throw;
    }
    writeErrorShown_ = false;
}

} // namespace sonari
