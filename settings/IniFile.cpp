#include "settings/IniFile.h"

#include "settings/FileIO.h"
#include "settings/IniFormat.h"

namespace sonari {

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    std::string bytes;
    if (ReadWholeFile(fileName_, kMaxFileBytes, bytes) == TReadResult::rrFailed)
        throw EIniFileException("Unable to read " + fileName_);
    text_ = TIniText(std::move(bytes));
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return text_.Value(section, key).has_value();
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    return text_.Value(section, key).value_or(def);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t def) const {
    auto text = text_.Value(section, key);
    return text ? TextToInt(*text).value_or(def) : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
    auto text = text_.Value(section, key);
    return text ? TextToFloat(*text).value_or(def) : def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    TIniText changed = text_;
    if (!changed.SetValue(section, key, value) || changed.Text().size() > kMaxFileBytes ||
        !ReplaceFile(fileName_, changed.Text()))
        FailWrite();
    text_ = std::move(changed);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FloatToStr(value));
}

void TIniFile::FailWrite() const { throw EIniFileException("Unable to write to " + fileName_); }

} // namespace sonari
