#pragma once

#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

namespace sonari::test {

// This build's sonari-cli.
inline std::string SonariCliPath() { return (BinaryDir() / "bin" / "sonari-cli").string(); }

// sonari-cli run to its end with `args`.
inline TProgramRun RunSonariCli(std::vector<std::string> args,
                                const std::vector<std::string>& environment = {}) {
    args.insert(args.begin(), SonariCliPath());
    return RunProgram(args, environment, std::chrono::seconds(60));
}

} // namespace sonari::test
