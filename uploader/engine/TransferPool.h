#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "RemoteListing.h"

class FtpWorker;
class RemoteConnection;
class TransferProgress;

// The connections of a run beyond the walk's own, when a server's Connections is more than one.
//
// The walk stays on the main thread, with its own connection ([1]): it lists, makes folders,
// decides what goes and records it, and it sends a small file itself when the others have files
// enough waiting. Each further connection ([2] ... [n]) is an FtpWorker in a thread of its own,
// with its own connection (FTP or SFTP, as the walk's) and event loop. The walk hands it a file to
// send, or a folder to list ahead of the walk (servers without a recursive listing); the results
// come back as queued signals and reach the walk through OnSent and OnListed, on the main thread,
// whenever it lets events run: in its own waits as in the pool's.
//
// A connection that breaks is opened again once, and the file it was sending goes again on
// another connection; the same file broken twice is that file's error. A connection the server
// refuses at the start is not asked for again, and the run log says once how many connections
// the server accepted.
class TransferPool : public QObject {
    Q_OBJECT

public:
    enum class Slot {
        Ready,    // a connection is idle: Send hands it the file
        Own,      // the walk sends the file on its own connection
        Stopped,  // the run is being stopped
    };

    // walk: the run's first connection, logged in: its profile, options and stop flags hold for
    // the pool. connections: how many in all, the walk's included. progress: told how far each
    // file of the pool has gone, by its connection's number.
    TransferPool(RemoteConnection& walk, int connections,
                 std::function<void(const QString&)> logCommand,
                 std::function<void(const QString&)> logRun, TransferProgress* progress = nullptr);
    ~TransferPool() override;

    // Starts the logins of the further connections.
    void Start(int replyTimeoutSec);

    // Finds a connection for a file: an idle one, or a place among the files that wait for one
    // (two a connection); else the walk's own for a small file, or for any file once no other
    // is left; else waits.
    Slot AwaitConnection(bool small);
    // Hands a file over after AwaitConnection said Ready.
    void Send(qint64 job, const QString& localPath, const QString& remotePath);
    // How a file's transfer ended.
    struct Outcome {
        bool stored = false;   // the server confirmed the whole file
        bool changed = false;  // the file changed while it was read: the copy does not count
        QString reason;        // why it was not stored
        bool tried = true;     // false: a stop came before it left
        QString digest;        // SHA-256 of the bytes stored (hex); "" when not stored
    };
    // Called once for each file handed over, when it has ended.
    std::function<void(qint64 job, const Outcome& outcome)> OnSent;

    // Lists the folder on a connection that has nothing else to do; the last folder asked for is
    // listed first, so folders asked for in the walk's order on entering a folder come out in the
    // order of a depth-first walk.
    void ListAhead(const QStringList& dirs);
    // Called for each listing that ended, ok or not.
    std::function<void(const QString& dir, bool ok, const RemoteListing& paths)> OnListed;
    // The walk is about to list dir itself: true when a listing of it is already under way and
    // has now ended (OnListed was called); a listing not yet started is taken back.
    bool AwaitListing(const QString& dir);

    // Waits until every file handed over has ended, stopping the transfers at once when the run
    // is being stopped at once. Returns the files whose connections are all gone: the walk sends
    // them on its own.
    QList<qint64> Drain();
    // Ends every transfer and listing under way at once.
    void StopNow();
    // QUIT on every connection, and the threads ended.
    void Close();

private:
    struct Job {
        qint64 id = 0;
        QString localPath;
        QString remotePath;
        int breaks = 0;
    };
    enum class State { LoggingIn, Idle, Sending, Listing, Gone };
    struct Connection {
        int number = 0;
        FtpWorker* worker = nullptr;  // owned; lives in thread
        std::unique_ptr<QThread> thread;
        State state = State::LoggingIn;
        bool reopened = false;
        Job job;
        QString dir;
    };

    Connection& At(int number) { return *m_connections.at(number - 2); }
    Connection* Idle();
    bool AnySending() const;
    bool AllGone() const;
    std::size_t Live() const;
    // Stopping: no connection starts anything new. At once: what is under way ends now.
    bool Stopping() const;
    bool StoppingAtOnce() const;
    // Lets events run until done() (or a stop, with endOnStop); keeps the walk's connection
    // alive meanwhile.
    void Wait(const std::function<bool()>& done, bool endOnStop);
    void KeepWalkAlive();

    void WorkerLoggedIn(int number, bool ok, const QString& reason);
    void WorkerSent(int number, qint64 job, bool stored, bool broken, bool changed,
                    const QString& reason, const QString& digest);
    void WorkerListed(int number, const QString& dir, bool ok, bool broken,
                      const RemoteListing& paths);
    void WorkerClosed(int number);
    // A connection broke: opened again once, else gone.
    void Lost(Connection& connection, const QString& reason);
    // Gives an idle connection the next file to send again, or the next folder to list.
    void Employ(Connection& connection);
    void StartSend(Connection& connection, const Job& job);

    RemoteConnection& m_walk;
    int m_size;
    std::function<void(const QString&)> m_logCommand;
    std::function<void(const QString&)> m_logRun;
    TransferProgress* m_progress;
    int m_replyTimeoutSec = 60;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::deque<Job> m_waiting;    // files for the next idle connection, those that broke first
    std::deque<QString> m_ahead;  // folders to list, next first
    QSet<QString> m_asked;        // every folder ever asked for: each is listed once
    bool m_walkWaiting = false;   // the walk waits for a connection: keep the next idle one
    int m_firstLogins = 0;        // logins of the start that have ended
    int m_accepted = 1;           // the walk's, and those the server accepted at the start
    int m_closed = 0;
    bool m_stoppedNow = false;
    bool m_closing = false;
    QTimer m_wake;  // ends a wait now and then, for the walk's keep-alive
    // The walk's own connection says NOOP after this long in the pool's waits, where it may sit
    // idle while the others send; so does an idle connection of the pool.
    int m_keepAliveMs;
    QElapsedTimer m_walkIdle;
};
