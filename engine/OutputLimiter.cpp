#include "engine/OutputLimiter.h"

#include <cmath>

namespace sonari {

bool LimitOutput(TSingleArray& samples) {
    bool overloaded = false;
    for (float& x : samples) {
        if (std::fabs(x) <= kOutputLimit) // false for NaN as well
            continue;
        overloaded = true;
        if (!std::isfinite(x))
            x = 0.0f;
        else
            x = x > 0 ? kOutputLimit : -kOutputLimit;
    }
    return overloaded;
}

} // namespace sonari
