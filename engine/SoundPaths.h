#pragma once

#include <string>
#include <vector>

namespace sonari {

// Where the engine's sound files live. Folder names end with '/'.
struct TSoundFolders {
    // The user's folder: Voice.wav and Out.wav are written here, and a copy of a shipped file
    // placed here takes precedence.
    std::string UserWavDir;
    // The shipped files' folders, most preferred first.
    std::vector<std::string> SharedWavDirs;
};

// The running program's folders: `settingsFolder` + "Wav/" for the user, then "Wav/" beside
// the executable (the build tree), then the installed data folder.
TSoundFolders ProgramSoundFolders(const std::string& settingsFolder);

// Folder of the running executable, with a trailing '/'.
std::string ProgramFolder();

// Full name of a shipped file: the user's copy if there is one, else the first shared folder
// that holds it; when none does, the name in the last shared folder (for the error message).
std::string FindSoundFile(const TSoundFolders& folders, const std::string& name);

// Appends a '/' unless the name is empty or ends with one.
std::string WithTrailingSlash(std::string folder);

} // namespace sonari
