#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <utility>

namespace sonari {
namespace {

// Runs sonari-cli with the simulated devices.
test::TProgramRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), (test::BinaryDir() / "bin/sonari-cli").string());
    return test::RunProgram(args, {"SONARI_AUDIO=sim"});
}

TEST(SonariCli, DevicesListsNumberNameKeyDirectionsAndRangesOfEveryDevice) {
    const test::TProgramRun devices = Cli({"devices"});
    ASSERT_EQ(devices.Status, 0) << devices.Err;
    EXPECT_EQ(devices.Out, "01  Demo microphone\n"
                           "    key      sim:demo-microphone\n"
                           "    capture  up to 2 channels, 16-32 bits, 8000-48000 Hz\n"
                           "02  Demo transmitter\n"
                           "    key      sim:demo-transmitter\n"
                           "    render   up to 2 channels, 16-32 bits, 8000-48000 Hz\n");
}

TEST(SonariCli, HelpNamesTheCommandsAndBadCallsFailWithUsage) {
    const test::TProgramRun help = Cli({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("devices"), std::string::npos);
    EXPECT_NE(help.Out.find("SONARI_AUDIO=sim"), std::string::npos);
    for (const auto& [args, error] :
         {std::pair<std::vector<std::string>, std::string>{{}, "Usage: sonari-cli"},
          {{"transmit"}, "unknown command 'transmit'"},
          {{"devices", "--all"}, "unexpected argument '--all'"}}) {
        const test::TProgramRun bad = Cli(args);
        EXPECT_EQ(bad.Status, 2) << error;
        EXPECT_TRUE(bad.Out.empty()) << bad.Out;
        EXPECT_NE(bad.Err.find(error), std::string::npos) << bad.Err;
    }
}

} // namespace
} // namespace sonari
