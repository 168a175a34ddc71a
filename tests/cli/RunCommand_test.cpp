#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace sonari {
namespace {

using namespace std::chrono_literals;
using test::ReadFileBytes;

// sonari-cli run over the simulated demo devices, recording the demo transmitter.
class RunCommand : public ::testing::Test {
protected:
    std::unique_ptr<test::TChild> Start(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {(test::BinaryDir() / "bin/sonari-cli").string(), "run"};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<test::TChild>(
            argv,
            std::vector<std::string>{"SONARI_AUDIO=sim", "SONARI_SIM_TX=" + Tx(),
                                     "XDG_CONFIG_HOME=" + (dir_ / "config").string()},
            Out(), Err());
    }
    std::string Out() const { return (dir_ / "out.txt").string(); }
    std::string Err() const { return (dir_ / "err.txt").string(); }
    std::string Tx() const { return (dir_ / "tx.wav").string(); }

    test::TTempDir dir_;
};

// The number after `label` in `text`; NaN when it is not there.
double NumberAfter(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    return at == std::string::npos ? std::nan("") : std::atof(text.c_str() + at + label.size());
}

TEST_F(RunCommand, InterruptOrTerminationStopsCleanlyWithStatusZeroAndACompleteRecording) {
    const std::vector<std::string> ways[] = {
        {"--input", "sim:demo-microphone", "--output", "DEMO TRANSMITTER"},
        {"--input=demo microphone", "--output=02  demo transmitter", "--stats", "--latency",
         "normal"}};
    for (int signal : {SIGINT, SIGTERM}) {
        const bool normal = signal == SIGTERM;
        auto child = Start(ways[normal]);
        ASSERT_TRUE(child->Started());
        ASSERT_TRUE(test::WaitForText(Out(), "Ctrl+C stops", 10s)) << ReadFileBytes(Err());
        ASSERT_TRUE(test::WaitForText(Out(), "Latency from microphone to transmitter", 10s));
        child->Signal(signal);
        EXPECT_EQ(child->Wait(10s), 0) << ReadFileBytes(Err());
        const std::string out = ReadFileBytes(Out());
        EXPECT_NE(out.find("01  Demo microphone -> 02  Demo transmitter at 12000 Hz"),
                  std::string::npos)
            << out;
        // One block of 64 or 1024 samples per buffer; the estimate holds that buffer, the chain's
        // 32 ms and the transmitter's queue of one to three buffers when it is read (two at the
        // start), printed to the whole millisecond.
        EXPECT_EQ(NumberAfter(out, "in buffers of "), normal ? 1024 : 64) << out;
        const double blockMs = (normal ? 1024 : 64) / 12.0;
        const double estimate = NumberAfter(out, "transmitter: about ");
        EXPECT_GE(estimate, 32 + 2 * blockMs - 0.5) << out;
        EXPECT_LE(estimate, 32 + 4 * blockMs) << out;
        EXPECT_EQ(NumberAfter(out, "\nStopped. Xruns: "), 0) << out;
        EXPECT_TRUE(out.ends_with(", output blocks dropped: 0\n")) << out;
        EXPECT_GT(test::WavFrames(Tx()), 1024u);
    }
}

TEST_F(RunCommand, UnknownDevicesMissingProfilesAndIncompleteCallsAreRefused) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {{"--input", "Studio mic", "--output", "2"}, 1, "No device named 'Studio mic'"},
        {{"--input", "3", "--output", "2"}, 1, "No device number 3"},
        {{"--input", "1"}, 2, "Usage: sonari-cli run"},
        {{"--input", "1", "--output", "2", "--latency", "fast"}, 2, "--latency takes 'low'"},
        {{"--input", "1", "--output", "2", "--profile", "absent.ini"},
         1,
         "Profile not found: absent.ini"},
        {{"--input", "1", "--output", "1"}, 1, "Output device does not support"}, // a microphone
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Start(c.args)->Wait(10s), c.status) << c.error;
        EXPECT_NE(ReadFileBytes(Err()).find(c.error), std::string::npos) << ReadFileBytes(Err());
    }
}

} // namespace
} // namespace sonari
