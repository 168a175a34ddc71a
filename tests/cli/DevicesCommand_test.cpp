#include "tests/cli/SonariCli.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

// sonari-cli with the simulated devices.
test::TProgramRun Cli(const std::vector<std::string>& args) {
    return test::RunSonariCli(args, {"SONARI_AUDIO=sim"});
}

TEST(SonariCli, DevicesListsNumberNameDirectionsAndRangesOfEveryDevice) {
    const test::TProgramRun run = Cli({"devices"});
    ASSERT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "01  Demo microphone\n"
                       "    capture  up to 2 channels, 16-32 bits, 8000-48000 Hz\n"
                       "02  Demo transmitter\n"
                       "    render   up to 2 channels, 16-32 bits, 8000-48000 Hz\n");
}

TEST(SonariCli, HelpNamesTheCommandsAndBadCallsFailWithUsage) {
    const test::TProgramRun help = Cli({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("devices"), std::string::npos);
    EXPECT_NE(help.Out.find("SONARI_AUDIO=sim"), std::string::npos);
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{}, "Usage: sonari-cli"},
        {{"transmit"}, "unknown command 'transmit'"},
        {{"devices", "--all"}, "unexpected argument '--all'"},
    };
    for (const auto& c : cases) {
        const test::TProgramRun run = Cli(c.args);
        EXPECT_EQ(run.Status, 2) << c.error;
        EXPECT_TRUE(run.Out.empty()) << run.Out;
        EXPECT_NE(run.Err.find(c.error), std::string::npos) << run.Err;
    }
}

} // namespace
} // namespace sonari
