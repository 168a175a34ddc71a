// The real program ending on SIGTERM with its settings written is the window's end-to-end test.
#include "controls/SafeShutdown.h"

#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

namespace sonari {
namespace {

TEST(SafeShutdown, ShutdownRaisesTheEventThenTerminatesOnlyOnceEvenIfTheEventFails) {
    TSafeShutdown shutdown;
    std::vector<std::string> steps;
    shutdown.OnShutdown = [&] { steps.push_back("save"); };
    shutdown.SetTerminator([&] { steps.push_back("end"); });
    shutdown.Shutdown();
    shutdown.Shutdown();
    EXPECT_EQ(steps, (std::vector<std::string>{"save", "end"}));
    EXPECT_EQ(shutdown.ShutdownSignal(), 0);

    TSafeShutdown failing;
    failing.OnShutdown = [] { throw std::runtime_error("disk full"); };
    failing.SetTerminator([&] { steps.push_back("ended anyway"); });
    failing.Shutdown();
    EXPECT_EQ(steps.back(), "ended anyway");
}

TEST(SafeShutdown, ASignalIsHandledInTheEventLoopAndTheOldHandlerComesBack) {
    for (int signal : {SIGHUP, SIGTERM}) {
        struct sigaction before {};
        sigaction(signal, nullptr, &before);
        {
            TSafeShutdown shutdown;
            bool saved = false, ended = false;
            shutdown.OnShutdown = [&] { saved = true; };
            shutdown.SetTerminator([&] { ended = true; });
            std::raise(signal);
            EXPECT_FALSE(saved) << "nothing may run inside the signal handler";
            EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }, 5000));
            EXPECT_TRUE(saved);
            EXPECT_EQ(shutdown.ShutdownSignal(), signal);
        }
        struct sigaction after {};
        sigaction(signal, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler) << signal;
    }
}

} // namespace
} // namespace sonari
