#include "settings/IniFormat.h"

#include "SND/Exceptions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace sonari {

namespace {

// from_chars takes no '+', the runtime's conversions do.
std::string_view DropPlusSign(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

} // namespace

std::string FloatToStr(double value) {
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

std::optional<double> TextToFloat(std::string_view text) {
    text = DropPlusSign(text);
    double value = 0;
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double StrToFloat(std::string_view text) {
    if (auto value = TextToFloat(text))
        return *value;
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

std::optional<int32_t> TextToInt(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // A second sign ("--5", "0x-5") is garbage, not a number.
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return std::nullopt;
    uint64_t magnitude = 0;
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, magnitude, base);
    if (result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    if (magnitude > uint64_t{1} << 31)
        return std::nullopt;
    int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

} // namespace sonari
