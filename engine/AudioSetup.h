#pragma once

#include "SND/WDM/AudioPlatform.h"
#include "engine/SoundPaths.h"
#include "engine/TxRecorder.h"

#include <memory>
#include <string>
#include <vector>

namespace sonari {

// The sound devices of the running program. With SONARI_AUDIO=sim: the simulated demo devices,
// the microphone speaking DemoVoice.wav (found like the noise files; the built-in voice when
// it is missing or unusable) and, when SONARI_SIM_TX names a file, the transmitter writing
// every block it plays into that file. Otherwise the real devices (ALSA).
struct TProgramAudio {
    std::unique_ptr<IAudioPlatform> Platform;
    // The transmitter's file writer while the simulation records; it completes the file when
    // the platform and this reference are both gone.
    std::shared_ptr<TTxRecorder> Transmitter;
    // Problems worth telling the operator (an unusable demo voice file).
    std::vector<std::string> Warnings;
};

TProgramAudio CreateProgramAudio(const TSoundFolders& folders);

} // namespace sonari
