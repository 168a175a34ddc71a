#include "SND/SimdPath.h"

#include "SND/Exceptions.h"

#include <atomic>
#include <string>

namespace sonari {
namespace {

TSimdPath WidestSupported() {
    return SimdPathSupported(TSimdPath::Avx2) ? TSimdPath::Avx2 : TSimdPath::Sse2;
}

std::atomic<TSimdPath>& Active() {
    static std::atomic<TSimdPath> active{WidestSupported()};
    return active;
}

} // namespace

TSimdPath ActiveSimdPath() { return Active().load(std::memory_order_relaxed); }

bool SimdPathSupported(TSimdPath path) {
    // The check includes the operating system's support for the wider registers.
    __builtin_cpu_init();
    return path == TSimdPath::Sse2 || __builtin_cpu_supports("avx2");
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
    }
    return "?";
}

} // namespace sonari
