#include "engine/SoundPaths.h"

#include "SonariVersion.h"

#include <filesystem>
#include <system_error>

namespace sonari {

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "./";
    return WithTrailingSlash(exe.parent_path().string());
}

TSoundFolders ProgramSoundFolders(const std::string& settingsFolder) {
    TSoundFolders folders;
    folders.UserWavDir = WithTrailingSlash(settingsFolder) + "Wav/";
    folders.SharedWavDirs = {ProgramFolder() + "Wav/",
                             WithTrailingSlash(SONARI_DATA_INSTALL_DIR) + "Wav/"};
    return folders;
}

std::string FindSoundFile(const TSoundFolders& folders, const std::string& name) {
    std::vector<std::string> candidates;
    if (!folders.UserWavDir.empty())
        candidates.push_back(folders.UserWavDir + name);
    for (const std::string& folder : folders.SharedWavDirs)
        candidates.push_back(WithTrailingSlash(folder) + name);
    for (const std::string& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return candidates.empty() ? name : candidates.back();
}

} // namespace sonari
