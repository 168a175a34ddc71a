#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sonari {

// The text of an INI file with lookups and single-line edits. An edit changes exactly one
// line (or adds one, or a section at the end); every other byte stays as it was, so comments,
// unknown keys and lines we cannot parse survive any number of writes.
//
// Lines: "[name]" starts a section (a missing ']' ends the name at the line end), ';' or '#'
// starts a comment, "key=value" is an entry, anything else is kept and ignored. Names match
// without regard to ASCII letter case; the first matching section and, within it, the first
// matching key win. Values lose their surrounding blanks and one pair of enclosing '"'.
class TIniText {
public:
    TIniText() = default;
    explicit TIniText(std::string text) : text_(std::move(text)) {}

    const std::string& Text() const { return text_; }

    // Value of `key` in `section`; nothing when the section or the key is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // Stores `value` so that Value(section, key) returns it. False, with the text unchanged,
    // when the value cannot live on one line (it holds a line break or a NUL).
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);

private:
    struct TPlace;
    TPlace Locate(std::string_view section, std::string_view key) const;
    std::string_view LineBreak() const;

    std::string text_;
};

} // namespace sonari
