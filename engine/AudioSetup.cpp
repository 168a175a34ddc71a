#include "engine/AudioSetup.h"

#include "SND/WDM/Platform/PlatformFactory.h"
#include "SND/WDM/Sim/SimDemo.h"
#include "engine/SoundFiles.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

namespace sonari {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void LoadDemoVoice(TSimPlatform& platform, const TSoundFolders& folders,
                   std::vector<std::string>& warnings) {
    const std::string name = FindSoundFile(folders, "DemoVoice.wav");
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error))
        return; // the built-in voice speaks
    try {
        TSingleArray voice = ReadWavFile(name, [&](const std::string& message) {
            warnings.push_back(message + "; the built-in demo voice speaks instead");
        });
        if (!voice.empty())
            SetDemoVoice(platform, std::move(voice));
    } catch (const std::exception& e) {
        warnings.push_back(std::string(e.what()) + "; the built-in demo voice speaks instead");
    }
}

} // namespace

TProgramAudio CreateProgramAudio(const TSoundFolders& folders) {
    TProgramAudio audio;
    if (Environment("SONARI_AUDIO") != "sim") {
        audio.Platform = CreateAudioPlatform();
        return audio;
    }
    std::unique_ptr<TSimPlatform> platform = CreateDemoPlatform();
    LoadDemoVoice(*platform, folders, audio.Warnings);
    if (const std::string txFile = Environment("SONARI_SIM_TX"); !txFile.empty()) {
        audio.Transmitter = std::make_shared<TTxRecorder>(txFile);
        SetDemoTransmitterSink(*platform, [recorder = audio.Transmitter](
                                              int64_t, int32_t rate, const TDataBufferF& block) {
            recorder->Add(rate, block);
        });
    }
    audio.Platform = std::move(platform);
    return audio;
}

} // namespace sonari
