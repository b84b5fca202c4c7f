#pragma once

#include <libssh/libssh.h>

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "FtpAddress.h"
#include "FtpHost.h"
#include "RemoteConnection.h"
#include "SftpPacket.h"
#include "UploadSource.h"

// The SFTP connection of a run, for an address that begins with "sftp://": one SSH connection
// (libssh, non-blocking, on a socket whose readiness socket notifiers report) with one SFTP
// channel, on which the client keeps many requests in flight: the folder reads of a listing, and
// the writes of a file. The SFTP messages are our own: libssh's SFTP calls wait for each answer.
// Every operation lets the event loop of its thread run until its answers came, so a stop ends it
// at once; the same time limits as FTP's hold.
//
// Logins: the account and password fields are the SSH user and password (keyboard-interactive
// when the server offers no password method). An empty password means public keys: the SSH
// agent (SSH_AUTH_SOCK), then ~/.ssh/id_ed25519, id_ecdsa and id_rsa without a passphrase.
// Host keys: those of ~/.ssh/known_hosts and /etc/ssh/ssh_known_hosts (hashed entries too), else
// the one the server's settings trust; an unknown key is asked about through the host, a changed
// one refused.
class SftpClient : public QObject, public RemoteConnection {
    Q_OBJECT

public:
    explicit SftpClient(FtpHost& host, QObject* parent = nullptr);
    ~SftpClient() override;

    void SetReplyTimeoutSec(int seconds) override;
    bool ConnectFtp(const Typ_Profile& profile) override;
    bool FtpLogin(const Typ_Profile& profile) override;
    bool EnterBase() override;
    const Typ_ServerOptions& Options() const override { return m_options; }
    QString FaultReason() const override { return m_faultReason; }
    bool Connected() const override;

    // STAT: the path is a folder.
    bool FtpChangeDir(const QString& path) override;
    bool FtpMakeDir(const QString& path) override;
    // STAT: the path exists.
    bool FtpExistFile(const QString& remotePath) override;
    bool ListRemoteDir(const QString& dir, RemoteListing* paths) override;
    bool FtpPutFile(const QString& localPath, const QString& remotePath) override;
    QString LastPutFailure() const override { return m_putFailure; }
    bool LastPutFileChanged() const override { return m_putChanged; }
    QString LastPutDigest() const override { return m_putDigest; }
    bool FtpDeleteFile(const QString& path) override;
    bool FtpNoop() override;
    void FtpQuit() override;
    void CloseSockets() override;

private:
    using Handler = std::function<void(quint8 type, Sftp::Reader& fields)>;

    // Login.
    bool OpenSocket(const FtpAddress& address);
    bool LookUp(const QString& host, QList<QHostAddress>* addresses);
    // False with errno's number in *error when the address takes no connection.
    bool ConnectTo(const QHostAddress& address, quint16 port, int* error);
    bool OpenSession(const FtpAddress& address);
    bool HostKeyAccepted();
    QString KnownKey(const QString& type) const;
    // Refuses the key: the reason, and the box that tells what to do.
    bool RefuseHostKey(const QString& reason, const QString& box);
    bool Authenticate();
    // methods: libssh's SSH_AUTH_METHOD_ bits the server offers.
    bool AuthenticateWithPassword(int methods, QStringList* tried);
    bool AuthenticateWithKeys(int methods, QStringList* tried);
    bool StartSftp();
    void FreeSession();
    // Ends the connection for libssh without freeing the descriptor, which it still names.
    void ShutDown();

    // Waiting. Every wait lets events run until done(), a stop, a fault or a time limit, and
    // leaves no answer awaited when it returns.
    bool Wait(const std::function<bool()>& done);
    // Repeats a libssh call while it says again; kStopped when the wait ended first.
    int Await(const std::function<int()>& call, int again);
    // Moves the channel's bytes and hands each whole answer to its request's handler until done().
    bool WaitForAnswers(const std::function<bool()>& done);
    bool Pump();
    bool Flush();
    void SendHeld();
    bool Receive();
    void Dispatch(const QByteArray& message);
    void Touch();
    // The socket notifiers report once each, and only inside a wait: a modal box opened there
    // must not see them fire over and over.
    void Arm();
    void Disarm();
    void StartTimers();
    void StopTimers();

    // Requests.
    quint32 NextId() { return m_nextId++; }
    // A request goes out with what was sent before it; its fields follow in the same statement.
    Sftp::Request Send(Sftp::Type type, quint32 id) { return Sftp::Request(&m_out, type, id); }
    // The handler of the answer to request id.
    void Post(quint32 id, Handler handler);
    // Waits for the one answer to request id.
    bool Ask(quint32 id, const Handler& handler);
    // An answer that should be a status: true for OK; any other is logged and kept as the last
    // reply.
    bool StatusOk(quint8 type, Sftp::Reader& fields);
    // The same, giving the code: OK and EOF are not logged.
    quint32 Status(quint8 type, Sftp::Reader& fields);
    // STAT of a path: its attributes, or false.
    bool Stat(const QString& path, Sftp::Attributes* attributes);
    QByteArray RemoteBytes(const QString& path) const;

    // Listings: the folders below dir, many at once when recursive.
    bool ListTree(const QString& dir, bool recursive, RemoteListing* paths);

    // Upload.
    bool OpenRemote(const QString& remotePath, QByteArray* handle);
    bool WriteAll(UploadSource& source, const QByteArray& handle, qint64* sent);
    bool CloseRemote(const QString& remotePath, const QByteArray& handle);
    bool PutFailed(const QString& reason, bool changed = false);
    QString TransferFailure() const;

    // Faults: the box, the reason, and the connection closed.
    void Fault(int number, const QString& description);
    void SshFault();
    void ProtocolError(const QString& what);

    FtpHost& m_host;
    Typ_ServerOptions m_options;
    QString m_hostPort;
    QString m_knownHostsName;  // the server as known_hosts names it: host, or [host]:port
    int m_fd = -1;
    bool m_connecting = false;  // a connection to the server is under way
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    ssh_session m_session = nullptr;
    ssh_channel m_channel = nullptr;
    bool m_sessionOwnsSocket = false;  // the session closes m_fd when it is freed
    int m_waitDepth = 0;
    bool m_closeAfterWait = false;  // closed during a wait: freed once the wait has returned

    QTimer m_watchdog;  // silence
    QTimer m_deadline;  // the whole wait
    int m_timeoutSec = 60;
    bool m_faulted = false;
    QString m_faultReason;

    QByteArray m_out;  // requests not yet taken by the channel
    qsizetype m_outAt = 0;
    QByteArray m_in;  // one read of the channel
    Sftp::Framer m_framer;
    QHash<quint32, Handler> m_pending;
    quint32 m_nextId = 1;
    bool m_versionSeen = false;
    qint64 m_progress = 0;  // bytes acknowledged since the deadline last started afresh

    QString m_putFailure;
    bool m_putChanged = false;
    QString m_putDigest;
    QString m_uploadLocalPath;  // the file being sent and its size, for the progress shown
    qint64 m_uploadSize = 0;
};
