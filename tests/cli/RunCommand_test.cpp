#include "ChildProcess.h"

#include "SND/WavFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>

namespace sonari {
namespace {

using namespace std::chrono_literals;
using test::TChild;
using test::TTempDir;

// sonari-cli run over the simulated demo devices, recording the demo transmitter.
class RunCommand : public ::testing::Test {
protected:
    std::unique_ptr<TChild> Start(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {test::CliPath(), "run"};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<TChild>(
            argv,
            std::vector<std::string>{"SONARI_AUDIO=sim", "SONARI_SIM_TX=" + Tx(),
                                     "XDG_CONFIG_HOME=" + (dir_ / "config").string()},
            Out(), Err());
    }
    std::string Out() const { return (dir_ / "out.txt").string(); }
    std::string Err() const { return (dir_ / "err.txt").string(); }
    std::string Tx() const { return (dir_ / "tx.wav").string(); }

    // Frames the demo transmitter played into the file.
    uint32_t PlayedFrames() const {
        TKelWavFile wav;
        wav.SetFileName(Tx());
        wav.OpenRead();
        return wav.SampleCount();
    }

    // Lets it run for a moment, then sends `signal`; returns the exit status.
    int RunThenSignal(TChild& child, int signal) {
        EXPECT_TRUE(test::WaitForText(Out(), "Ctrl+C stops", 10s)) << test::ReadFileBytes(Err());
        std::this_thread::sleep_for(400ms);
        child.Signal(signal);
        return child.Wait();
    }

    TTempDir dir_;
};

TEST_F(RunCommand, InterruptStopsCleanlyWithStatusZero) {
    auto child = Start({"--input", "1", "--output", "DEMO TRANSMITTER"});
    ASSERT_TRUE(child->Started());
    EXPECT_EQ(RunThenSignal(*child, SIGINT), 0) << test::ReadFileBytes(Err());
    const std::string out = test::ReadFileBytes(Out());
    EXPECT_NE(out.find("01  Demo microphone -> 02  Demo transmitter at 12000 Hz"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.substr(out.size() - 9), "Stopped.\n");
    EXPECT_GT(PlayedFrames(), 1024u); // the file was completed
}

TEST_F(RunCommand, TerminationStopsCleanlyWithStatusZero) {
    auto child = Start({"--input=demo microphone", "--output=02  demo transmitter", "--stats"});
    EXPECT_EQ(RunThenSignal(*child, SIGTERM), 0) << test::ReadFileBytes(Err());
    EXPECT_GT(PlayedFrames(), 1024u);
}

TEST_F(RunCommand, UnknownDevicesMissingProfilesAndIncompleteCallsAreRefused) {
    auto unknown = Start({"--input", "Studio mic", "--output", "2"});
    EXPECT_EQ(unknown->Wait(), 1);
    EXPECT_NE(test::ReadFileBytes(Err()).find("No device named 'Studio mic'"), std::string::npos);

    auto outOfRange = Start({"--input", "3", "--output", "2"});
    EXPECT_EQ(outOfRange->Wait(), 1);
    EXPECT_NE(test::ReadFileBytes(Err()).find("No device number 3"), std::string::npos);

    auto incomplete = Start({"--input", "1"});
    EXPECT_EQ(incomplete->Wait(), 2);
    EXPECT_NE(test::ReadFileBytes(Err()).find("Usage: sonari-cli run"), std::string::npos);

    auto noProfile = Start({"--input", "1", "--output", "2", "--profile", "absent.ini"});
    EXPECT_EQ(noProfile->Wait(), 1);
    EXPECT_NE(test::ReadFileBytes(Err()).find("Profile not found: absent.ini"), std::string::npos);

    // The microphone cannot play.
    auto wrongWay = Start({"--input", "1", "--output", "1"});
    EXPECT_EQ(wrongWay->Wait(), 1);
    EXPECT_NE(test::ReadFileBytes(Err()).find("Output device does not support"), std::string::npos)
        << test::ReadFileBytes(Err());
}

} // namespace
} // namespace sonari
