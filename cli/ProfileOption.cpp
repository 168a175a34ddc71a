#include "cli/ProfileOption.h"

#include "SND/Exceptions.h"

#include <filesystem>
#include <system_error>

namespace sonari::cli {

TProfile ReadProfileOption(const std::string& fileName) {
    TProfile profile = ProfileOf(TMicEqualizer(), 1.0f);
    if (fileName.empty())
        return profile;
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        throw Exception("Profile not found: " + fileName);
    LoadProfile(fileName, profile);
    return profile;
}

} // namespace sonari::cli
