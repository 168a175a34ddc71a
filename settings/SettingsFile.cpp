#include "settings/SettingsFile.h"

#include "SND/Exceptions.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <string_view>
#include <unistd.h>

namespace sonari {

namespace fs = std::filesystem;

namespace {

std::string& BaseNameOverride() {
    static std::string name;
    return name;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

// XDG: a relative $XDG_CONFIG_HOME is invalid and must be ignored.
fs::path ConfigHome() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return config;
    return fs::path(HomeFolder()) / ".config";
}

} // namespace

std::string BaseNameOfProgram(const std::string& programPath) {
    // The kernel marks a program file replaced while it runs (a package upgrade); the
    // settings must still go where they came from.
    constexpr std::string_view kDeleted = " (deleted)";
    std::string path = programPath;
    if (path.ends_with(kDeleted))
        path.resize(path.size() - kDeleted.size());
    return fs::path(path).stem().string();
}

std::string ProgramBaseName() {
    if (!BaseNameOverride().empty())
        return BaseNameOverride();
    std::error_code ec;
    fs::path program = fs::read_symlink("/proc/self/exe", ec);
    std::string base = ec ? std::string() : BaseNameOfProgram(program.string());
    return base.empty() ? "sonari" : base;
}

void SetProgramBaseName(const std::string& baseName) { BaseNameOverride() = baseName; }

std::string SettingsFolder() {
    std::string base = ProgramBaseName();
    std::string folder = (ConfigHome() / "Brisko" / "Products" / base).string() + "/";
    ForceDirectories(folder);
    return folder;
}

std::string SettingsFileName() { return SettingsFolder() + ProgramBaseName() + ".ini"; }

bool ForceDirectories(const std::string& name) {
    if (name.empty())
        throw Exception("Unable to create directory");
    std::error_code ec;
    fs::create_directories(fs::path(name), ec);
    return fs::is_directory(fs::path(name), ec);
}

} // namespace sonari
