#include "cli/ProfileOption.h"

#include "SND/Exceptions.h"
#include "settings/Profile.h"

#include <filesystem>
#include <system_error>

namespace sonari::cli {

void ApplyProfile(const std::string& fileName, TMicEqualizer& equalizer, TConsoleView& view) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        throw Exception("Profile not found: " + fileName);
    TProfileHost host(equalizer);
    LoadProfile(fileName, host);
    view.EqualizerOn = host.EqualizerChecked;
    view.ClipperOn = host.ClipperChecked;
    view.OutputGainValue = host.OutputGain();
}

} // namespace sonari::cli
