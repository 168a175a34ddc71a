#include "app/SingleInstance.h"

#include <QDir>
#include <QEventLoop>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <unistd.h>

namespace sonari {
namespace {

QString SocketPathFor(const QString& key) {
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QDir(runtimeDir).exists())
        return runtimeDir + "/" + key + ".socket";
    // Names in /tmp are shared by all users: the user id keeps them apart.
    return QDir::tempPath() + "/" + key + "-" + QString::number(getuid()) + ".socket";
}

// Waits for `done` while the event loop runs, so a first copy in this same thread can answer.
template <typename Done>
bool WaitFor(QLocalSocket* source, Done done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(source, &QLocalSocket::readyRead, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(source, &QLocalSocket::stateChanged, &loop, [&] {
        if (done())
            loop.quit();
    });
    timer.start(timeoutMs);
    loop.exec();
    return done();
}

} // namespace

TSingleInstance::TSingleInstance(const QString& key, QObject* parent)
    : QObject(parent), socketPath_(SocketPathFor(key)) {}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Start(int replyTimeoutMs) {
    // Copies starting at the same moment take turns; a lock left by a dead copy is taken over.
    QLockFile lock(socketPath_ + ".lock");
    lock.tryLock(2 * replyTimeoutMs);
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (AskRunningCopy(replyTimeoutMs)) {
        case TAnswer::Restored:
        case TAnswer::Silent:
            return false;
        case TAnswer::NobodyThere:
            if (Listen())
                return true;
            break;
        }
    }
    // Nobody answers and the socket cannot be made (an unusable runtime folder): refusing to
    // start would leave the operator with no program at all, so run without the guard.
    return true;
}

TSingleInstance::TAnswer TSingleInstance::AskRunningCopy(int replyTimeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    const bool connected =
        WaitFor(
            &socket, [&] { return socket.state() != QLocalSocket::ConnectingState; },
            replyTimeoutMs) &&
        socket.state() == QLocalSocket::ConnectedState;
    if (!connected)
        return TAnswer::NobodyThere;
    socket.write(kRestoreRequest);
    socket.flush();
    const bool answered = WaitFor(
        &socket,
        [&] { return socket.canReadLine() || socket.state() != QLocalSocket::ConnectedState; },
        replyTimeoutMs);
    if (answered && socket.readLine() == kRestoreReply)
        return TAnswer::Restored;
    return TAnswer::Silent;
}

bool TSingleInstance::Listen() {
    // A socket file nobody accepts on is what a crashed copy leaves behind.
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        server_.reset();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, [this] { Serve(); });
    return true;
}

void TSingleInstance::Serve() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (!client->canReadLine()) {
                if (client->bytesAvailable() > 64) // not one of ours
                    client->disconnectFromServer();
                return;
            }
            const QByteArray request = client->readLine();
            if (request == kRestoreRequest) {
                client->write(kRestoreReply);
                client->flush();
                if (OnRestoreRequest)
                    OnRestoreRequest();
            }
            client->disconnectFromServer();
        });
    }
}

} // namespace sonari
