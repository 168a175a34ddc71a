#pragma once

#include <string>

namespace sonari {

// Where the program keeps its settings:
//   $XDG_CONFIG_HOME/Brisko/Products/<base>/<base>.ini   ($XDG_CONFIG_HOME: ~/.config if unset)
// <base> being the running program's file name without folder and extension.

// The program's base name: the one set by SetProgramBaseName, else taken from /proc/self/exe.
std::string ProgramBaseName();
// Base name of a program file path as /proc/self/exe gives it ("/usr/bin/sonari" -> "sonari").
std::string BaseNameOfProgram(const std::string& programPath);
// Overrides the base name (tests, front ends sharing one settings file); "" restores the default.
void SetProgramBaseName(const std::string& baseName);

// The settings folder with a trailing '/', created if missing (a failure is ignored here and
// shows when the file is written).
std::string SettingsFolder();
// SettingsFolder() + <base> + ".ini".
std::string SettingsFileName();

// Creates a folder and every missing parent. True when the whole path exists as folders
// afterwards. An empty name raises Exception "Unable to create directory".
bool ForceDirectories(const std::string& name);

} // namespace sonari
