#include "engine/OutputLimiter.h"

#include <cmath>
#include <xmmintrin.h>

namespace sonari {

namespace {

// Limits one sample; true when it had to.
bool Limit(float& x) {
    if (std::fabs(x) <= kOutputLimit) // false for NaN as well
        return false;
    if (!std::isfinite(x))
        x = 0.0f;
    else
        x = x > 0 ? kOutputLimit : -kOutputLimit;
    return true;
}

} // namespace

bool LimitOutput(TSingleArray& samples) {
    bool overloaded = false;
    float* x = samples.data();
    const size_t count = samples.size();
    const __m128 limit = _mm_set1_ps(kOutputLimit), sign = _mm_set1_ps(-0.0f);
    size_t i = 0;
    // four at a time while all are within the limit, which is nearly always
    for (; i + 4 <= count; i += 4) {
        const __m128 magnitude = _mm_andnot_ps(sign, _mm_loadu_ps(x + i));
        if (_mm_movemask_ps(_mm_cmple_ps(magnitude, limit)) == 0xF) // false for NaN as well
            continue;
        for (size_t j = i; j < i + 4; ++j)
            overloaded |= Limit(x[j]);
    }
    for (; i < count; ++i)
        overloaded |= Limit(x[i]);
    return overloaded;
}

} // namespace sonari
