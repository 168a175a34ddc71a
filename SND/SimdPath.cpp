#include "SND/SimdPath.h"

#include "SND/Exceptions.h"

#include <atomic>
#include <string>

namespace sonari {
namespace {

TSimdPath WidestSupported() {
    if (SimdPathSupported(TSimdPath::Avx512))
        return TSimdPath::Avx512;
    if (SimdPathSupported(TSimdPath::Avx2))
        return TSimdPath::Avx2;
    return TSimdPath::Sse2;
}

std::atomic<TSimdPath>& Active() {
    static std::atomic<TSimdPath> active{WidestSupported()};
    return active;
}

} // namespace

TSimdPath ActiveSimdPath() { return Active().load(std::memory_order_relaxed); }

bool SimdPathSupported(TSimdPath path) {
    // The checks include the operating system's support for the wider registers.
    switch (path) {
    case TSimdPath::Sse2:
        return true;
    case TSimdPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case TSimdPath::Avx512:
        return __builtin_cpu_supports("avx512f");
    }
    return false;
}

void ForceSimdPath(std::optional<TSimdPath> path) {
    if (path && !SimdPathSupported(*path))
        throw Exception(std::string("This processor cannot run the ") + SimdPathName(*path) +
                        " kernels");
    Active().store(path.value_or(WidestSupported()), std::memory_order_relaxed);
}

const char* SimdPathName(TSimdPath path) {
    switch (path) {
    case TSimdPath::Sse2:
        return "SSE2";
    case TSimdPath::Avx2:
        return "AVX2";
    case TSimdPath::Avx512:
        return "AVX-512";
    }
    return "?";
}

} // namespace sonari
