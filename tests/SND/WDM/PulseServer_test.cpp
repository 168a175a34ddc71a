#include "SND/WDM/Pulse/PulseServer.h"

#include "tests/support/SoundServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

// Without a sound server the device list must come as fast as ever: an absent server is given
// up at once, one that never answers after the time limit, and none is ever started.

namespace sonari {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double MillisecondsOf(const std::function<void()>& call) {
    const auto start = Clock::now();
    call();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class PulseServer : public ::testing::Test {
protected:
    PulseServer() {
        std::filesystem::create_directories(dir_ / "run");
        chmod((dir_ / "run").c_str(), 0700);
        env_.Set("XDG_RUNTIME_DIR", (dir_ / "run").string());
        env_.Set("HOME", dir_.Path().string());
        env_.Unset("DISPLAY"); // the server's address may also come from the X display
        env_.Unset("PULSE_SERVER");
    }

    test::TTempDir dir_{"sonari-noserver"};
    test::TScopedEnv env_;
};

TEST_F(PulseServer, NoServerMeansNoEndpointsAtOnceAndNoneIsStarted) {
    TPulseServer server;
    TServerListing listing{{{"x", "x", true}}, true};
    EXPECT_LT(MillisecondsOf([&] { listing = server.Endpoints(); }), 500.0);
    EXPECT_TRUE(listing.Endpoints.empty());
    EXPECT_FALSE(listing.Silent);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "run" / "pulse" / "native"))
        << "a server was started";
    // a guard never holds up the stream it is made for, server or not
    EXPECT_LT(MillisecondsOf([&] { server.Guard({"radio_tx", "Radio-TX", true}).reset(); }), 500.0);
}

TEST_F(PulseServer, AServerThatNeverAnswersIsGivenUpAfterTheTimeLimit) {
    const test::TSilentServer silent(dir_ / "silent.sock");
    env_.Set("PULSE_SERVER", silent.Address());

    TPulseServer server(300ms);
    TServerListing listing{{{"x", "x", true}}, false};
    const double ms = MillisecondsOf([&] { listing = server.Endpoints(); });
    EXPECT_TRUE(listing.Endpoints.empty());
    EXPECT_TRUE(listing.Silent);
    EXPECT_GE(ms, 290.0);
    EXPECT_LT(ms, 1500.0); // generous: the unit tests run side by side
}

} // namespace
} // namespace sonari
