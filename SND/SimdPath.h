#pragma once

#include <cstdint>
#include <optional>

namespace sonari {

// Instruction sets the signal kernels are compiled for. Every path gives bit-identical results:
// the kernels never fuse a multiply with an add, so wider registers change speed, not rounding.
// (AVX-512 registers ran the resampler no faster than AVX2 on a Zen 4, so there is no such path.)
enum class TSimdPath : uint8_t { Sse2, Avx2 };
inline constexpr TSimdPath kSimdPaths[] = {TSimdPath::Sse2, TSimdPath::Avx2};

// The path kernels use now: the widest one this processor supports, unless forced.
TSimdPath ActiveSimdPath();
// True when this processor (and its operating system) can run the path.
bool SimdPathSupported(TSimdPath path);
// Forces a supported path for tests and benchmarks; nullopt returns to the automatic choice.
// Components that pick their kernels at configuration see the change at their next setter.
void ForceSimdPath(std::optional<TSimdPath> path);
// "SSE2", "AVX2".
const char* SimdPathName(TSimdPath path);

} // namespace sonari
