#include "cli/ProfileOption.h"

#include "SND/Exceptions.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace sonari::cli {

TProfile ReadProfileOption(const std::string& fileName, std::ostream& err) {
    TProfile profile = ProfileOf(TMicEqualizer(), 1.0f);
    if (fileName.empty())
        return profile;
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        throw Exception("Profile not found: " + fileName);
    std::vector<TIgnoredValue> ignored;
    LoadProfile(fileName, profile, &ignored);
    for (const TIgnoredValue& value : ignored)
        err << "Ignored [" << value.Section << "] " << value.Key << "=" << value.Text << ": "
            << value.Reason << "\n";
    return profile;
}

} // namespace sonari::cli
