#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace sonari {

// One running copy per user. The first start listens on a local socket; a later start asks it to
// restore its window and is told to exit. A socket left behind by a crashed copy (nobody
// accepts the connection) is removed and taken over. Main thread only.
class TSingleInstance : public QObject {
public:
    // `key` names the socket file: $XDG_RUNTIME_DIR/<key>.socket, or a per-user name in the
    // temporary folder when there is no runtime folder.
    explicit TSingleInstance(const QString& key = "sonari", QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this is the first copy (it now listens); false when another copy answered and
    // was asked to restore its window, so this one should exit. Also false when another copy
    // accepts the connection but does not answer within `replyTimeoutMs` (it is alive but
    // busy: a second copy would fight it for the sound devices). True without Listening() when
    // no socket can be made at all: the program runs, unguarded.
    bool Start(int replyTimeoutMs = 3000);
    // Raised in the first copy when a later start asks it to restore its window.
    std::function<void()> OnRestoreRequest;

    const QString& SocketPath() const { return socketPath_; }
    bool Listening() const { return server_ && server_->isListening(); }

    // The request sent by a later start and the reply confirming it.
    static constexpr char kRestoreRequest[] = "restore 73 88\n";
    static constexpr char kRestoreReply[] = "ok\n";

private:
    enum class TAnswer { Restored, Silent, NobodyThere };
    TAnswer AskRunningCopy(int replyTimeoutMs);
    bool Listen();
    void Serve();

    QString socketPath_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace sonari
