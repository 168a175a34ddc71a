#pragma once

#include <cmath>

namespace sonari {

// Levels and units of the 32-bit sample scale. Integer samples of every width sit at the top of
// a 32-bit integer, so full scale is 2^31 whatever the device or file holds; IEEE-float file
// samples use +-1.0 and are scaled by kFullScale (an exact power of two) at the boundary.

// 2^31: the magnitude of the most negative 32-bit sample.
inline constexpr float kFullScale = 2147483648.0f;
// 1 / 2^31, exact.
inline constexpr float kInverseFullScale = 1.0f / 2147483648.0f;
// 2^31 - 1: the reference of every dBFS figure (the largest positive 32-bit sample).
inline constexpr long double kDbfsReference = 2147483647.0L;
// Largest float below 2^31: the top of the integer scale that every width can hold.
inline constexpr float kLargestSample = 2147483520.0f;
// Smallest sample on the scale, -2^31.
inline constexpr float kSmallestSample = -2147483648.0f;
// The output limiter's level: the float nearest to 0.999 (2^31 - 1).
inline constexpr float kOutputLimit = 2145336192.0f;
// Keeps log10 finite for silence: 20 log10(0 + 1e-99) = -1980 dB.
inline constexpr long double kLevelGuard = 1e-99L;

// Amplitude ratio of a level: 10^(dB / 20).
inline long double DbToGain(long double db) { return std::pow(10.0L, db / 20.0L); }

// Level of an amplitude ratio: 20 log10(gain); -inf for 0.
inline long double GainToDb(long double gain) { return 20.0L * std::log10(gain); }

// Level of an amplitude on the 32-bit scale: 20 log10(x / (2^31 - 1) + 1e-99) dBFS; silence
// gives about -1980 dBFS instead of failing.
inline long double Dbfs(long double amplitude) {
    return 20.0L * std::log10(amplitude / kDbfsReference + kLevelGuard);
}

// Amplitude on the 32-bit scale of a level in dBFS: 10^(dB / 20) (2^31 - 1).
inline long double DbfsToAmplitude(long double db) { return DbToGain(db) * kDbfsReference; }

} // namespace sonari
