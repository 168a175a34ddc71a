#pragma once

#include "SND/WDM/AudioPlatform.h"

#include <memory>

namespace sonari {

// ALSA with the endpoints of a PulseAudio-compatible server, or the simulated demo devices
// when the environment has SONARI_AUDIO=sim.
std::unique_ptr<IAudioPlatform> CreateAudioPlatform();

} // namespace sonari
