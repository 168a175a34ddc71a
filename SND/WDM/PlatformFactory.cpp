#include "SND/WDM/AlsaPlatform.h"
#include "SND/WDM/AudioPlatform.h"
#include "SND/WDM/SimDemo.h"

#include <cstdlib>
#include <string>

namespace sonari {

std::unique_ptr<IAudioPlatform> CreateAudioPlatform() {
    const char* choice = std::getenv("SONARI_AUDIO");
    if (choice && std::string(choice) == "sim")
        return CreateDemoPlatform();
    return std::make_unique<TAlsaPlatform>();
}

} // namespace sonari
