#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "FtpHost.h"
#include "RemoteConnection.h"
#include "Typ_Profile.h"
#include "Typ_ServerOptions.h"

// One more connection of a run to the same server (FTP or SFTP, as the factory makes it), in a
// thread of its own: it logs in, then
// sends files and lists folders as it is asked, one at a time, and tells what came of each. It
// decides and records nothing; the walk on the main thread does. Its client waits in this
// thread's event loop, so a stop sent during a transfer ends the wait at once.
//
// Every public member but the constructor runs in the worker's thread: call it through a queued
// QMetaObject::invokeMethod. The results come back as signals, queued to the main thread.
class FtpWorker : public QObject, private FtpHost {
    Q_OBJECT

public:
    // number: the connection's number in the command log ("[2] "). make: the kind of connection.
    // keepAliveMs: an idle connection says NOOP this often, since servers close a silent one.
    FtpWorker(int number, RemoteConnectionFactory make, int keepAliveMs);
    ~FtpWorker() override;

    // Logs in to the profile's server with the options the run's first connection settled on.
    void LogIn(const Typ_Profile& profile, const Typ_ServerOptions& options, int replyTimeoutSec);
    void Send(qint64 job, const QString& localPath, const QString& remotePath);
    void List(const QString& dir);
    // Ends a transfer or listing under way at once; nothing more is done but Close.
    void StopNow();
    // Ends what is under way, then QUIT and the sockets closed; the client is gone.
    void Close();

signals:
    void LoggedIn(int number, bool ok, const QString& reason);
    // stored: the server confirmed the whole file. broken: the connection failed (not the file).
    // changed: the file changed while it was read. digest: of the bytes stored (hex).
    void Sent(int number, qint64 job, bool stored, bool broken, bool changed, const QString& reason,
              const QString& digest);
    void Listed(int number, const QString& dir, bool ok, bool broken, const RemoteListing& paths);
    // How far the file being sent has gone (FtpHost::UploadProgress).
    void Progress(int number, const QString& localPath, qint64 sent, qint64 size);
    void CommandLogged(const QString& line);
    void RunLogged(const QString& line);
    void Closed(int number);

private:
    // FtpHost
    void Logging(const QString& line) override;
    void WriteLog(const QString& line) override;
    void ShowSocketError(const QString& text) override;
    bool InvestigateMode() override { return false; }
    void UploadProgress(const QString& localPath, qint64 sent, qint64 size) override;
    Typ_ServerOptions ServerOptions(const QString& hostPort) override;

    // Whether the last failure was the connection's rather than the file's or the folder's.
    bool Broken() const;
    QString FailureReason() const;
    void KeepAlive();
    void CloseIfAsked();

    int m_number;
    QString m_prefix;
    Typ_ServerOptions m_options;
    RemoteConnectionFactory m_make;
    std::unique_ptr<RemoteConnection> m_client;  // made in the worker's thread, as its sockets
                                                 // must be
    QTimer m_keepAlive;  // a child: an idle connection says NOOP now and then
    bool m_busy = false;
    bool m_stopped = false;
    bool m_closeAsked = false;
    QString m_socketError;
};
