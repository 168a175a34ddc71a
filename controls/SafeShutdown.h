#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <memory>

namespace sonari {

// The program's end with the desktop session. The session manager's commit-data request comes
// before the log-out is final, which may still be cancelled: OnCommitData saves, and the program
// runs on. The real end is the application being asked to quit (the session manager's last word
// after a log-out that went through, or the program's own quit), the event loop ending, SIGTERM
// or SIGHUP: OnShutdown is raised, then the program exits through the normal termination path
// (std::exit: atexit handlers and static destructors run, no window is asked to close, so no
// question can hold the shutdown up). The owner saves its settings and stops its streams in
// OnShutdown. One instance at a time; main thread only.
class TSafeShutdown : public QObject {
public:
    explicit TSafeShutdown(QObject* parent = nullptr);
    ~TSafeShutdown() override;

    // Raised on each commit-data request; its exceptions are swallowed.
    std::function<void()> OnCommitData;
    // Raised once, just before the program ends.
    std::function<void()> OnShutdown;

    // Raises OnShutdown (its exceptions are swallowed: the program ends regardless), then
    // calls the terminator. Later calls do nothing.
    void Shutdown();
    // What ends the program; std::exit(0) unless replaced (tests do).
    void SetTerminator(std::function<void()> terminator) { terminator_ = std::move(terminator); }
    // Signal number that started the shutdown; 0 for a session end or a direct call.
    int ShutdownSignal() const { return shutdownSignal_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReadSignal();

    int sockets_[2] = {-1, -1}; // [0] written by the signal handler, [1] read here
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldTerm_ {};
    struct sigaction oldHup_ {};
    int oldWriteSocket_ = -1;
    bool done_ = false;
    int shutdownSignal_ = 0;
    std::function<void()> terminator_;
};

} // namespace sonari
