#include "app/SingleInstance.h"

#include "tests/app/AppEnvironment.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sonari {
namespace {

using test::QPath;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { env.Set("XDG_RUNTIME_DIR", dir.Path().string()); }

    test::TTempDir dir{"sonari-instance"};
    test::TScopedEnv env;
};

// A socket file as a crashed copy leaves it: bound, never listened on, owner gone.
void MakeStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(path));
}

// Foreign requests are answered by hanging up and restore nothing.
TEST_F(SingleInstanceTest,
       LaterStartsAskTheFirstToRestoreAndAreToldToExitUntilItEndsWhateverTheRuntimeFolder) {
    {
        TSingleInstance first, second;
        int restores = 0;
        first.OnRestoreRequest = [&] { ++restores; };
        second.OnRestoreRequest = [&] { ADD_FAILURE() << "the second copy was asked to restore"; };
        ASSERT_TRUE(first.Start());
        EXPECT_TRUE(first.Listening());
        EXPECT_FALSE(second.Start());
        EXPECT_FALSE(second.Listening());
        EXPECT_FALSE(TSingleInstance().Start());
        EXPECT_EQ(first.SocketPath(), QPath(dir / "sonari.socket"));
        QLocalSocket client;
        client.connectToServer(first.SocketPath());
        ASSERT_TRUE(client.waitForConnected(1000));
        client.write("hello\n");
        client.flush();
        for (int i = 0; i < 50 && client.state() == QLocalSocket::ConnectedState; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(client.state(), QLocalSocket::UnconnectedState);
        EXPECT_EQ(restores, 2);
    }
    TSingleInstance next;
    EXPECT_TRUE(next.Start());
    // Without a runtime folder the socket is still the user's own.
    env.Unset("XDG_RUNTIME_DIR");
    const QString path = TSingleInstance("sonari").SocketPath();
    EXPECT_TRUE(path.startsWith('/'));
    EXPECT_TRUE(path.contains(QString::number(getuid())));
    // One longer than a socket address can hold still lets the program start.
    const auto deep = dir / std::string(120, 'r');
    std::filesystem::create_directories(deep);
    env.Set("XDG_RUNTIME_DIR", deep.string());
    TSingleInstance unreachable;
    EXPECT_TRUE(unreachable.Start(200));
    EXPECT_FALSE(unreachable.Listening());
}

// A listener that never answers is left alone; a socket file nobody listens on is taken over.
TEST_F(SingleInstanceTest, OnlyAStaleSocketIsTakenOver) {
    TSingleInstance copy;
    {
        QLocalServer silent;
        ASSERT_TRUE(silent.listen(copy.SocketPath()));
        EXPECT_FALSE(copy.Start(200));
        EXPECT_FALSE(copy.Listening());
        EXPECT_TRUE(silent.isListening());
    }
    MakeStaleSocket(copy.SocketPath());
    EXPECT_TRUE(copy.Start(500));
    EXPECT_TRUE(copy.Listening());
    int restores = 0;
    copy.OnRestoreRequest = [&] { ++restores; };
    EXPECT_FALSE(TSingleInstance().Start());
    EXPECT_EQ(restores, 1);
}

} // namespace
} // namespace sonari
