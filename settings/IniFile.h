#pragma once

#include "SND/Exceptions.h"
#include "settings/IniText.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonari {

// An INI file that cannot be read or written; the message names the file.
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

// The settings and profile files: typed reads with defaults, and writes that reach the disk at
// once. Every write replaces the whole file atomically (a temporary file in the same folder,
// renamed over it, keeping the file's permissions), so a crash or a full disk never leaves a
// truncated file, and only the written line differs from what was there. Main thread only.
class TIniFile {
public:
    // Larger files are not ours; refusing them bounds what a damaged file can cost.
    static constexpr size_t kMaxFileBytes = size_t{1} << 20;

    // Reads the file now. A missing file or folder reads as empty. A file that exists but
    // cannot be read, is not a regular file or is larger than kMaxFileBytes raises
    // EIniFileException "Unable to read %s": what could not be read is never overwritten.
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }
    const std::string& Text() const { return text_.Text(); }

    // Readers return `def` when the key is missing or its text is not a value of the type.
    bool ValueExists(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // Decimal or "0x" hexadecimal, 32 bits.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // An integer; anything but 0 is true.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    // A finite decimal with '.'; ',' as separator, "nan" and "inf" give `def`.
    double ReadFloat(const std::string& section, const std::string& key, double def) const;

    // Writers raise EIniFileException "Unable to write to %s" when the value cannot be stored
    // (a line break in it, the file would outgrow kMaxFileBytes, the disk refuses); the file
    // on disk is then unchanged.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    // "1" or "0".
    void WriteBool(const std::string& section, const std::string& key, bool value);
    // Shortest general form, up to 15 significant digits, '.' as separator.
    void WriteFloat(const std::string& section, const std::string& key, double value);

private:
    [[noreturn]] void FailWrite() const;

    std::string fileName_;
    TIniText text_;
};

} // namespace sonari
