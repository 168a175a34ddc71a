#include "settings/IniText.h"

namespace sonari {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// Blanks at either end or enclosing quotes would be lost on reading without quotes of our own.
bool NeedsQuotes(std::string_view value) {
    if (value.empty())
        return false;
    return IsBlank(value.front()) || IsBlank(value.back()) ||
           (value.size() >= 2 && value.front() == '"' && value.back() == '"');
}

enum class TLineKind { Other, Section, Entry };

struct TLine {
    TLineKind Kind = TLineKind::Other;
    std::string_view Name; // section name or key
    size_t ValueBegin = 0; // offsets into the text: the value, blanks after '=' skipped
    size_t ContentEnd = 0; // end of the line without its line break
};

// Classifies the line text[begin, end), end being its '\n' or the end of the text.
TLine ParseLine(std::string_view text, size_t begin, size_t end) {
    TLine line;
    line.ContentEnd = end > begin && text[end - 1] == '\r' ? end - 1 : end;
    if (begin == 0 && text.substr(0, end).starts_with(kUtf8Bom))
        begin = kUtf8Bom.size();
    std::string_view raw = text.substr(begin, end - begin);
    std::string_view trimmed = Trim(raw);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#')
        return line;
    if (trimmed[0] == '[') {
        std::string_view name = trimmed.substr(1);
        name = name.substr(0, name.find(']'));
        line.Kind = TLineKind::Section;
        line.Name = Trim(name);
        return line;
    }
    size_t equals = raw.find('=');
    if (equals == std::string_view::npos)
        return line;
    line.Name = Trim(raw.substr(0, equals));
    if (line.Name.empty())
        return line;
    line.Kind = TLineKind::Entry;
    line.ValueBegin = begin + equals + 1;
    while (line.ValueBegin < line.ContentEnd &&
           (text[line.ValueBegin] == ' ' || text[line.ValueBegin] == '\t'))
        ++line.ValueBegin;
    return line;
}

} // namespace

struct TIniText::TPlace {
    bool SectionFound = false;
    bool KeyFound = false;
    size_t InsertAt = 0;   // where a new entry of the section goes: after its last entry
    size_t ValueBegin = 0; // the key's value, when found
    size_t ValueEnd = 0;
};

TIniText::TPlace TIniText::Locate(std::string_view section, std::string_view key) const {
    TPlace place;
    std::string_view text = text_;
    for (size_t begin = 0;;) {
        size_t end = std::min(text.find('\n', begin), text.size());
        TLine line = ParseLine(text, begin, end);
        if (line.Kind == TLineKind::Section) {
            if (place.SectionFound)
                break;
            if (SameName(line.Name, section)) {
                place.SectionFound = true;
                place.InsertAt = line.ContentEnd;
            }
        } else if (line.Kind == TLineKind::Entry && place.SectionFound) {
            if (SameName(line.Name, key)) {
                place.KeyFound = true;
                place.ValueBegin = line.ValueBegin;
                place.ValueEnd = line.ContentEnd;
                break;
            }
            place.InsertAt = line.ContentEnd;
        }
        if (end == text.size())
            break;
        begin = end + 1;
    }
    return place;
}

std::string_view TIniText::LineBreak() const {
    size_t first = text_.find('\n');
    return first != std::string::npos && first > 0 && text_[first - 1] == '\r' ? "\r\n" : "\n";
}

std::optional<std::string> TIniText::Value(std::string_view section, std::string_view key) const {
    TPlace place = Locate(section, key);
    if (!place.KeyFound)
        return std::nullopt;
    std::string_view value =
        Trim(std::string_view(text_).substr(place.ValueBegin, place.ValueEnd - place.ValueBegin));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool TIniText::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return false;
    std::string stored(value);
    if (NeedsQuotes(value))
        stored = '"' + stored + '"';
    std::string_view lineBreak = LineBreak();
    TPlace place = Locate(section, key);
    if (place.KeyFound) {
        text_.replace(place.ValueBegin, place.ValueEnd - place.ValueBegin, stored);
    } else if (place.SectionFound) {
        text_.insert(place.InsertAt, std::string(lineBreak).append(key).append("=").append(stored));
    } else {
        if (!text_.empty() && text_.back() != '\n')
            text_ += lineBreak;
        if (!text_.empty())
            text_ += lineBreak;
        text_.append("[").append(section).append("]").append(lineBreak);
        text_.append(key).append("=").append(stored).append(lineBreak);
    }
    return true;
}

} // namespace sonari
