#include "settings/IniFormat.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <locale>
#include <random>

namespace sonari {
namespace {

TEST(DecimalText, RoundTripsEveryFloatExactlyAndDoublesToFifteenDigits) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 20000; ++i) {
        float single = std::bit_cast<float>(bits(random));
        if (!std::isfinite(single))
            continue;
        auto back = TextToFloat(FloatToStr(single));
        ASSERT_TRUE(back.has_value()) << FloatToStr(single);
        EXPECT_EQ(static_cast<float>(*back), single) << FloatToStr(single);
    }
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 20000; ++i) {
        int e = exponent(random);
        double value = mantissa(random) * std::pow(10.0, e);
        double back = *TextToFloat(FloatToStr(value));
        // Half a unit in the 15th significant digit, plus the double's own rounding.
        long double allowed = 0.5L * std::pow(10.0L, e - 14) + std::abs(value) * 1e-16L;
        EXPECT_LE(std::abs(static_cast<long double>(back) - value), allowed) << value;
    }
}

TEST(DecimalText, IsTheShortestGeneralFormWithFifteenDigitsAndReadsPlainDecimalsOnly) {
    EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FloatToStr(1e20), "1e+20");
    EXPECT_EQ(FloatToStr(0.00001), "1e-05");
    EXPECT_EQ(TextToFloat(".5"), 0.5);
    EXPECT_EQ(TextToFloat("-1E3"), -1000.0);
    for (const char* bad : {"", "-", "0,5", "1.5x", "nan", "inf", "1e999", "0x10", " 1", "+-1"})
        EXPECT_FALSE(TextToFloat(bad).has_value()) << '"' << bad << '"';
}

// Under a locale with a decimal comma, as a German desktop has (installed for the tests): files
// still use the point. A named global locale is the C library's too.
TEST(DecimalText, KeepsThePointUnderACommaLocale) {
    const std::locale previous = std::locale::global(std::locale("de_DE.UTF-8"));
    const std::string text = FloatToStr(67909392.5);
    const std::optional<double> value = TextToFloat("0.75");
    std::locale::global(previous);
    EXPECT_EQ(text, "67909392.5");
    EXPECT_EQ(value, 0.75);
}

TEST(IntegerText, ReadsDecimalAndHexWithinThirtyTwoBits) {
    EXPECT_EQ(TextToInt("+7"), 7);
    EXPECT_EQ(TextToInt("0X1f"), 31);
    EXPECT_EQ(TextToInt("2147483647"), 2147483647);
    EXPECT_EQ(TextToInt("-0x80000000"), -2147483647 - 1);
    for (const char* bad :
         {"", "0x", "2147483648", "-2147483649", "0x80000000", "12a", "1.0", "0x-5", "+-3"})
        EXPECT_FALSE(TextToInt(bad).has_value()) << '"' << bad << '"';
}

} // namespace
} // namespace sonari
