#include "SND/WDM/Platform/PlatformFactory.h"

#include "SND/WDM/Alsa/AlsaPlatform.h"
#include "SND/WDM/Pulse/PulseServer.h"
#include "SND/WDM/Sim/SimDemo.h"

#include <cstdlib>
#include <string>

namespace sonari {

std::unique_ptr<IAudioPlatform> CreateAudioPlatform() {
    const char* choice = std::getenv("SONARI_AUDIO");
    if (choice && std::string(choice) == "sim")
        return CreateDemoPlatform();
    return std::make_unique<TAlsaPlatform>(std::make_unique<TPulseServer>());
}

} // namespace sonari
