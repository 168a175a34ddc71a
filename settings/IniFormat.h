#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sonari {

// Value text of the settings and profile files. Decimals always use '.', whatever the process
// locale, so a file written under one locale reads back under any other.

// Shortest general form with up to 15 significant digits ("0.5", "67909392", "1e-05").
std::string FloatToStr(double value);

// A decimal ("-1.5", "+2", ".5", "3e2"); nothing when the text is not one whole finite number
// that fits a double (',' separators, "nan", "inf", "1e999" and trailing junk all fail).
std::optional<double> TextToFloat(std::string_view text);

// As TextToFloat, but raises EConvertError "'%s' is not a valid floating point value".
double StrToFloat(std::string_view text);

// A 32-bit integer in decimal or, after "0x"/"0X", hexadecimal, with an optional sign;
// nothing on garbage or overflow.
std::optional<int32_t> TextToInt(std::string_view text);

} // namespace sonari
