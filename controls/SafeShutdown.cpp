#include "controls/SafeShutdown.h"

#include <QGuiApplication>
#include <QSessionManager>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace sonari {
namespace {

std::atomic<int> gSignalSocket{-1};

// Only async-signal-safe calls here: the signal number goes through the socket pair and is
// handled in the event loop.
void SignalHandler(int signal) {
    const int savedErrno = errno;
    const char number = static_cast<char>(signal);
    const int fd = gSignalSocket.load();
    if (fd >= 0) {
        const ssize_t written = ::write(fd, &number, 1);
        (void)written; // nothing can be done about a full socket inside a handler
    }
    errno = savedErrno;
}

void Install(int signal, struct sigaction& old) {
    struct sigaction action {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, &old);
}

} // namespace

TSafeShutdown::TSafeShutdown(QObject* parent) : QObject(parent), terminator_([] { std::exit(0); }) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets_) != 0)
        throw std::runtime_error("Cannot create the socket pair for the shutdown signals");
    notifier_ = std::make_unique<QSocketNotifier>(sockets_[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadSignal(); });
    oldWriteSocket_ = gSignalSocket.exchange(sockets_[0]);
    Install(SIGTERM, oldTerm_);
    Install(SIGHUP, oldHup_);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            try {
                if (OnCommitData)
                    OnCommitData();
            } catch (...) {
                // The session manager waits for the answer; a failed save must not keep it.
            }
        });
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { Shutdown(); });
        // Before the windows are asked to close, so no question holds the log-out up.
        app->installEventFilter(this);
    }
}

bool TSafeShutdown::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        Shutdown();
        return true;
    }
    return false;
}

TSafeShutdown::~TSafeShutdown() {
    sigaction(SIGTERM, &oldTerm_, nullptr);
    sigaction(SIGHUP, &oldHup_, nullptr);
    gSignalSocket.store(oldWriteSocket_);
    notifier_.reset();
    ::close(sockets_[0]);
    ::close(sockets_[1]);
}

void TSafeShutdown::ReadSignal() {
    char number = 0;
    if (::read(sockets_[1], &number, 1) != 1)
        return;
    if (shutdownSignal_ == 0)
        shutdownSignal_ = number;
    Shutdown();
}

void TSafeShutdown::Shutdown() {
    if (done_)
        return;
    done_ = true;
    try {
        if (OnShutdown)
            OnShutdown();
    } catch (...) {
        // Ending is what the session asked for; a failed save must not keep the program alive.
    }
    if (terminator_)
        terminator_();
}

} // namespace sonari
