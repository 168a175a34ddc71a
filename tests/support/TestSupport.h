#pragma once

#include <filesystem>
#include <string>

namespace sonari::test {

// Folder of the source tree and of the build tree (where bin/ and bin/Wav/ live).
std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();

// A fresh, empty folder under the system temp folder, removed with the object.
class TTempDir {
public:
    explicit TTempDir(const std::string& prefix = "sonari-test");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// True when an executable of that name is on PATH.
bool HaveProgram(const std::string& name);

// Runs a shell command; returns its exit status and, when output is given, its stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Quotes a string for the shell.
std::string ShellQuote(const std::string& text);

// Whole file as bytes / writes bytes to a file.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

} // namespace sonari::test
