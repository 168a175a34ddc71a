#include "controls/SafeShutdown.h"
#include "tests/controls/QtTestMain.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace sonari {
namespace {

// The child: waits for a signal and writes a file when it is told to shut down.
int SafeShutdownChild() {
    TSafeShutdown shutdown;
    const QString path = qEnvironmentVariable("SONARI_TEST_FILE");
    shutdown.OnShutdown = [&] {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("settings saved\n");
    };
    std::puts("ready");
    std::fflush(stdout);
    QCoreApplication::exec();
    return 3; // the event loop must never return normally
}

const bool kChildRegistered = test::RegisterChildMain("safe-shutdown", SafeShutdownChild);

// Starts this executable as the child, sends `signal` once it is ready, and returns the file
// the child wrote (empty when it wrote none) with its exit status.
struct TChildResult {
    QProcess::ExitStatus Status;
    int ExitCode;
    std::string Written;
};

TChildResult RunChildAndSignal(int signal) {
    test::TTempDir dir;
    const QString file = QString::fromStdString((dir / "saved.txt").string());
    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("SONARI_TEST_CHILD", "safe-shutdown");
    env.insert("SONARI_TEST_FILE", file);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    EXPECT_TRUE(child.waitForStarted(10000));
    while (!child.canReadLine() && child.waitForReadyRead(10000)) {
    }
    EXPECT_EQ(child.readLine().trimmed(), "ready");
    ::kill(static_cast<pid_t>(child.processId()), signal);
    EXPECT_TRUE(child.waitForFinished(10000));
    TChildResult result{child.exitStatus(), child.exitCode(), {}};
    QFile written(file);
    if (written.open(QIODevice::ReadOnly))
        result.Written = written.readAll().toStdString();
    return result;
}

TEST(SafeShutdownProcess, SigtermOrSighupSavesAndEndsTheProgramNormally) {
    ASSERT_TRUE(kChildRegistered);
    for (int signal : {SIGTERM, SIGHUP}) {
        const TChildResult result = RunChildAndSignal(signal);
        EXPECT_EQ(result.Status, QProcess::NormalExit) << signal;
        EXPECT_EQ(result.ExitCode, 0) << signal;
        EXPECT_EQ(result.Written, "settings saved\n") << signal;
    }
}

TEST(SafeShutdownInProcess, ShutdownRaisesTheEventThenTerminatesOnlyOnceEvenIfTheEventFails) {
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

TEST(SafeShutdownInProcess, ASignalIsHandledInTheEventLoopAndTheOldHandlerComesBack) {
    struct sigaction before {};
    sigaction(SIGHUP, nullptr, &before);
    {
        TSafeShutdown shutdown;
        bool saved = false, ended = false;
        shutdown.OnShutdown = [&] { saved = true; };
        shutdown.SetTerminator([&] { ended = true; });
        std::raise(SIGHUP);
        EXPECT_FALSE(saved) << "nothing may run inside the signal handler";
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }, 5000));
        EXPECT_TRUE(saved);
        EXPECT_EQ(shutdown.ShutdownSignal(), SIGHUP);
    }
    struct sigaction after {};
    sigaction(SIGHUP, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

} // namespace
} // namespace sonari
