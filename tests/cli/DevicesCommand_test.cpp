#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

using test::BinaryDir;
using test::RunCommand;
using test::ShellQuote;

// Runs sonari-cli with the simulated devices; returns the exit status, stdout and stderr.
int Cli(const std::string& arguments, std::string* out, std::string* err = nullptr) {
    const test::TTempDir dir("sonari-cli");
    const std::string errFile = (dir / "stderr").string();
    const int status =
        RunCommand("SONARI_AUDIO=sim " + ShellQuote((BinaryDir() / "bin" / "sonari-cli").string()) +
                       " " + arguments + " 2>" + ShellQuote(errFile),
                   out);
    if (err)
        *err = test::ReadFileBytes(errFile);
    return status;
}

TEST(SonariCli, DevicesListsNumberNameKeyDirectionsAndRangesOfEveryDevice) {
    std::string out;
    ASSERT_EQ(Cli("devices", &out), 0);
    EXPECT_EQ(out, "01  Demo microphone\n"
                   "    key      sim:demo-microphone\n"
                   "    capture  up to 2 channels, 16-32 bits, 8000-48000 Hz\n"
                   "02  Demo transmitter\n"
                   "    key      sim:demo-transmitter\n"
                   "    render   up to 2 channels, 16-32 bits, 8000-48000 Hz\n");
}

TEST(SonariCli, HelpNamesTheCommandsAndBadCallsFailWithUsage) {
    std::string out, err;
    EXPECT_EQ(Cli("--help", &out), 0);
    EXPECT_NE(out.find("devices"), std::string::npos);
    EXPECT_NE(out.find("SONARI_AUDIO=sim"), std::string::npos);

    out.clear();
    EXPECT_EQ(Cli("", &out, &err), 2);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("Usage: sonari-cli"), std::string::npos);

    EXPECT_EQ(Cli("transmit", &out, &err), 2);
    EXPECT_NE(err.find("unknown command 'transmit'"), std::string::npos);

    EXPECT_EQ(Cli("devices --all", &out, &err), 2);
    EXPECT_NE(err.find("unexpected argument '--all'"), std::string::npos);
}

} // namespace
} // namespace sonari
