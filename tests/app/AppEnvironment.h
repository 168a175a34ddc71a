#pragma once

#include "tests/support/TestSupport.h"

#include <QString>

namespace sonari::test {

inline QString QPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// A private home and configuration folder ($HOME and $XDG_CONFIG_HOME) for one test.
struct TPrivateConfig {
    TPrivateConfig() {
        Env.Set("HOME", (Dir / "home").string());
        Env.Set("XDG_CONFIG_HOME", (Dir / "config").string());
    }
    TTempDir Dir{"sonari-config"};
    TScopedEnv Env;
};

} // namespace sonari::test
