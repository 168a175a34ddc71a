#include "tests/SND/WavTestFiles.h"
#include "tests/cli/SonariCli.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace sonari {
namespace {

using namespace std::chrono_literals;
using test::ReadFileBytes;

// sonari-cli run over the simulated demo devices, recording the demo transmitter.
class RunCommand : public ::testing::Test {
protected:
    std::vector<std::string> Environment() const {
        return {"SONARI_AUDIO=sim", "SONARI_SIM_TX=" + Tx(),
                "XDG_CONFIG_HOME=" + (dir_ / "config").string()};
    }
    std::string Out() const { return (dir_ / "out.txt").string(); }
    std::string Err() const { return (dir_ / "err.txt").string(); }
    std::string Tx() const { return (dir_ / "tx.wav").string(); }

    test::TTempDir dir_;
};

TEST_F(RunCommand, InterruptOrTerminationStopsCleanlyWithStatusZeroAndACompleteRecording) {
    const std::vector<std::string> ways[] = {
        {test::SonariCliPath(), "run", "--input", "1", "--output", "DEMO TRANSMITTER"},
        {test::SonariCliPath(), "run", "--input=demo microphone", "--output=02  demo transmitter",
         "--stats"}};
    for (int signal : {SIGINT, SIGTERM}) {
        auto child =
            std::make_unique<test::TChild>(ways[signal == SIGTERM], Environment(), Out(), Err());
        ASSERT_TRUE(child->Started());
        ASSERT_TRUE(test::WaitForText(Out(), "Ctrl+C stops", 10s)) << ReadFileBytes(Err());
        std::this_thread::sleep_for(400ms);
        child->Signal(signal);
        EXPECT_EQ(child->Wait(10s), 0) << ReadFileBytes(Err());
        const std::string out = ReadFileBytes(Out());
        EXPECT_NE(out.find("01  Demo microphone -> 02  Demo transmitter at 12000 Hz"),
                  std::string::npos)
            << out;
        EXPECT_TRUE(out.ends_with("Stopped.\n")) << out;
        EXPECT_GT(test::WavFrames(Tx()), 1024u);
    }
}

TEST_F(RunCommand, UnknownDevicesMissingProfilesAndIncompleteCallsAreRefused) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {{"run", "--input", "Studio mic", "--output", "2"}, 1, "No device named 'Studio mic'"},
        {{"run", "--input", "3", "--output", "2"}, 1, "No device number 3"},
        {{"run", "--input", "1"}, 2, "Usage: sonari-cli run"},
        {{"run", "--input", "1", "--output", "2", "--profile", "absent.ini"},
         1,
         "Profile not found: absent.ini"},
        // device 1 is a microphone
        {{"run", "--input", "1", "--output", "1"}, 1, "Output device does not support"},
    };
    for (const auto& c : cases) {
        const test::TProgramRun run = test::RunSonariCli(c.args, Environment());
        EXPECT_EQ(run.Status, c.status) << c.error;
        EXPECT_NE(run.Err.find(c.error), std::string::npos) << run.Err;
    }
}

} // namespace
} // namespace sonari
