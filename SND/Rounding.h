#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sonari {

// Nearest integer, ties to even, limited to the 32-bit range; a non-number gives 0.
inline int32_t RoundHalfEven(long double x) {
    if (std::isnan(x))
        return 0;
    constexpr long double lo = std::numeric_limits<int32_t>::min();
    constexpr long double hi = std::numeric_limits<int32_t>::max();
    // nearbyint rounds half to even in the default rounding mode
    return static_cast<int32_t>(std::clamp(std::nearbyint(x), lo, hi));
}

} // namespace sonari
