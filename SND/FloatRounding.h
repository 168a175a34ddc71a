#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// When double arithmetic may stand in for extended precision in a result that is stored as a
// float. Let d be a double within `margin` units in its last place of a value v, and let the
// extended computation of v be as close. Both round to the same float unless d lies within
// `margin` of a point halfway between two floats, or outside the normal floats (overflow,
// subnormals): the caller checks that and computes the few other samples in extended precision.
// So the fast paths give the floats of the extended computation bit for bit.

namespace sonari {

// The significand bits a double loses when it is rounded to a float, and their pattern at a
// point halfway between two floats.
inline constexpr int64_t kDroppedBits = (int64_t{1} << 29) - 1;
inline constexpr int64_t kHalfway = int64_t{1} << 28;
// The bits of 2^-126 and 2^128 as doubles: the normal floats' magnitudes lie between; the bits
// of positive doubles sort as their values.
inline constexpr int64_t kSmallestNormalBits = int64_t{1023 - 126} << 52;
inline constexpr int64_t kBeyondFloatBits = int64_t{1023 + 128} << 52;

// True when d (or any value within `margin` ulps of it) rounds to a float without doubt: a
// normal float's magnitude more than `margin` ulps from a halfway point, or below 2^-151 (which
// gives zero, and the caller must only get a zero for an exact zero).
inline bool RoundsSafely(double d, int64_t margin) {
    int64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const int64_t magnitude = bits & INT64_MAX;
    const int64_t offset = (bits & kDroppedBits) - kHalfway;
    if (magnitude < (int64_t{1023 - 151} << 52))
        return true;
    return magnitude >= kSmallestNormalBits && magnitude < kBeyondFloatBits &&
           (offset < -margin || offset > margin);
}

// The same for W doubles, in 32-bit lanes (x86 compares 64-bit integers only from SSE4 on):
// `bits` holds the doubles' bits, low word first, `margin` one margin or one per double in its
// low word; `doubtful` gets all ones in either word of each double in doubt. Below 2^-151 a
// value and everything near it round to zero alike, so only 2^-151 .. 2^-126 counts as subnormal.
template <class J, class M>
[[gnu::always_inline]] inline void Doubtful(const J& bits, const M& margin, J& doubtful) {
    constexpr int32_t kDropped = static_cast<int32_t>(kDroppedBits);
    constexpr int32_t kHalf = static_cast<int32_t>(kHalfway);
    constexpr int32_t kZeroLimit = static_cast<int32_t>(int64_t{1023 - 151} << 20);
    constexpr int32_t kNormal = static_cast<int32_t>(kSmallestNormalBits >> 32);
    constexpr int32_t kBeyond = static_cast<int32_t>(kBeyondFloatBits >> 32);
    J low, high;
    for (size_t i = 0; i < sizeof(J) / sizeof(int32_t); ++i) {
        low[i] = i % 2 ? 0 : -1;
        high[i] = ~low[i];
    }
    const J dropped = bits & kDropped;
    J near;
    if constexpr (std::is_integral_v<M>) {
        const auto m = static_cast<int32_t>(margin);
        near = (dropped >= kHalf - m) & (dropped <= kHalf + m);
    } else {
        near = (dropped >= kHalf - margin) & (dropped <= kHalf + margin);
    }
    const J magnitude = bits & INT32_MAX;
    const J outside = ((magnitude >= kZeroLimit) & (magnitude < kNormal)) | (magnitude >= kBeyond);
    doubtful = (near & low) | (outside & high);
}

// True when any lane of a mask is set.
template <class J>
[[gnu::always_inline]] inline bool AnyLane(const J& mask) {
    int64_t any = 0;
    for (size_t i = 0; i < sizeof(J) / sizeof(int64_t); ++i) {
        int64_t lane;
        std::memcpy(&lane, reinterpret_cast<const char*>(&mask) + i * sizeof lane, sizeof lane);
        any |= lane;
    }
    return any != 0;
}

} // namespace sonari
