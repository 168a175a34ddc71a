#pragma once

// The instruction sets this machine has, forced one at a time.

#include "SND/SimdPath.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace sonari::test {

// Sets a path for one test and returns to the automatic choice afterwards.
struct TForcedPath {
    explicit TForcedPath(TSimdPath path) { ForceSimdPath(path); }
    ~TForcedPath() { ForceSimdPath(std::nullopt); }
};

inline std::vector<TSimdPath> SupportedPaths() {
    std::vector<TSimdPath> paths;
    for (TSimdPath p : kSimdPaths)
        if (SimdPathSupported(p))
            paths.push_back(p);
    return paths;
}

// `run` gives the same bits on every path as on SSE2, which every x86-64 machine has.
inline void ExpectSameBitsOnEveryPath(const std::function<std::vector<float>(TSimdPath)>& run,
                                      const std::string& what) {
    const std::vector<TSimdPath> paths = SupportedPaths();
    ASSERT_EQ(paths.front(), TSimdPath::Sse2);
    std::vector<float> sse2;
    for (TSimdPath path : paths) {
        const TForcedPath forced(path);
        const std::vector<float> result = run(path);
        if (path == TSimdPath::Sse2)
            sse2 = result;
        else
            EXPECT_TRUE(result.size() == sse2.size() &&
                        std::memcmp(result.data(), sse2.data(), sse2.size() * sizeof(float)) == 0)
                << SimdPathName(path) << " against SSE2, " << what;
    }
}

} // namespace sonari::test
