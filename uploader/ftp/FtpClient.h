#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "DataListener.h"
#include "FtpHost.h"
#include "RemoteConnection.h"
#include "RemoteListParser.h"
#include "ReplyFramer.h"
#include "Typ_Profile.h"
#include "Typ_ServerOptions.h"
#include "UploadSource.h"

// The FTP client of a run: one control connection, one data connection at a time (the server's
// in active mode, ours in passive mode). With TLS required, both are encrypted and the data
// connections resume the control connection's session. Everything runs on the GUI thread; each
// operation sends its command and lets events run until the reply handler has raised a flag.
class FtpClient : public QObject, public RemoteConnection {
    Q_OBJECT

public:
    explicit FtpClient(FtpHost& host, QObject* parent = nullptr);
    ~FtpClient() override;

    // A wait that sees no reply, no data and no connection for this long ends as a socket error;
    // so does one that takes FtpLimits::kDeadlineFactor times as long in all.
    void SetReplyTimeoutSec(int seconds) override;

    // Connects, logs in, enters or makes the remote base and lists it, with the options the host
    // keeps for the server. False: failed connection (or a stop while connecting).
    bool ConnectFtp(const Typ_Profile& profile) override;
    // ConnectFtp's two steps. FtpLogin connects and logs in; the remote base is known
    // (strRemoteBaseDir) but neither entered nor listed. EnterBase enters or makes it and lists
    // it. Further connections of a run log in only.
    bool FtpLogin(const Typ_Profile& profile) override;
    bool EnterBase() override;
    // With MLSD, name the folder instead of entering it: a listing costs one round trip less.
    // Off by default, so that a run over one connection says what it always said.
    void SetListByPath(bool byPath) { m_listByPath = byPath; }
    // The options this connection uses: the server's, with a certificate trusted during the
    // login.
    const Typ_ServerOptions& Options() const override { return m_options; }
    // Why the connection failed or was ended by a fault: the socket error's text, the time limit,
    // or the server's 421 reply. Empty when no fault came (a stop, or all went well). Cleared by
    // ConnectFtp.
    QString FaultReason() const override { return m_faultReason; }
    bool Connected() const override;
    // After a login the server refused, on a connection it keeps open: its FEAT reply. "" when the
    // login was not refused, TLS is on already, the connection is gone or FEAT was refused.
    QString FeaturesAfterRefusal();
    bool TlsRequired() const { return m_options.Tls == TLS_Require; }
    bool FtpChangeDir(const QString& path) override;
    bool FtpMakeDir(const QString& path) override;
    // Keeps an idle connection from being closed by the server's idle time limit.
    bool FtpNoop() override;
    // DELE: for part files a run left behind, and for the old file where a server will not
    // rename a part onto it; for nothing else.
    bool FtpDeleteFile(const QString& path) override;
    // Sends QUIT and closes both connections without waiting for the answer.
    void FtpQuit() override;
    void CloseSockets() override;

    // Leaves wsData listening on the control connection's local address and returns the PORT
    // argument ("h1,h2,h3,h4,p1,p2"; for an IPv6 control connection the EPRT one, "|2|addr|port|").
    // Empty when nothing can listen.
    QString GetPortParameter();
    static QString PortArgument(const QHostAddress& address, quint16 port);

    // Sends the local file (a regular file only) under the remote path; true once the server has
    // confirmed the whole file and the file did not change while it went. With the server's
    // TempUpload on, the file goes under its part name and true comes only once the part has
    // been renamed to the remote path.
    bool FtpPutFile(const QString& localPath, const QString& remotePath) override;
    // Why the last FtpPutFile failed, on one line: the system's words for a file that could not
    // be read, the server's reply (a 426, a 553 ...), the fault that broke the connection.
    QString LastPutFailure() const override { return m_putFailure; }
    // The last FtpPutFile failed because the file changed while it was sent.
    bool LastPutFileChanged() const override { return m_putChanged; }
    // The SHA-256 (hex) of the bytes the last FtpPutFile sent, or in investigate mode read; ""
    // when it failed or the file could not be read whole.
    QString LastPutDigest() const override { return m_putDigest; }
    // The recursive listing of path (NLST -aILR): result and count are replaced only by a listing
    // with at least one entry.
    void GetRemoteDirList(const QString& path, RemoteListing& result, qint32& count);
    bool FtpExistFile(const QString& remotePath) override;
    // Every entry of one remote directory (dot files included, "." and ".." never) as
    // dir + "/" + name, for servers whose recursive listing was refused or had no header. The
    // directory is entered and the current one listed: a classic server hands a listing's
    // argument to ls as a command line, which cuts a name with blanks into pieces. The command
    // follows what the server offers (MLSD, else NLST -a, else plain NLST), chosen once per
    // connection. False when the directory cannot be entered or listed.
    bool ListRemoteDir(const QString& dir, RemoteListing* paths) override;

    // The reply handler's state and verdict.
    QString strFtpState;
    bool blnFtpDone = false;
    bool blnFtpError = false;

    QSslSocket wsControl;
    DataListener wsData;                 // listening for the server's data connection (active mode)
    QSslSocket* wsDataSocket = nullptr;  // the data connection, accepted or made

private:
    enum class Channel { Control, Data };
    enum class ListMode { Unknown, Mlsd, NlstAll, Nlst };
    // Why a server's certificate was refused, when it was.
    enum class CertificateRefusal { None, Untrusted, Changed };

    // Control connection.
    bool Login(const QString& host, quint16 port);
    bool SendCommand(const QString& command, const QString& logLine = QString());
    void OnControlReadyRead();
    bool HandOverReply();
    void HandleReply(const QByteArray& bytes);
    void HandleLoginReply(const QString& code);
    void SendUser();
    void SendType();
    void JudgeReply(const QString& code);
    void OnSocketError(Channel channel, int number, const QString& description);
    // The server broke the protocol or a limit of FtpLimits: the same end as a socket error.
    void ProtocolError(Channel channel, const QString& what);
    // Sends one command in the given state and waits for its judgement, or until ready() says
    // that what the command is for can go on: true when it was good or can.
    bool RunCommand(const QString& state, const QString& command,
                    const std::function<bool()>& ready = {});
    // A refused TLS step: the box and the reason, and the attempt ends.
    void TlsRefused(const QString& step);

    // TLS.
    QSslConfiguration TlsConfiguration() const;
    void OnControlEncrypted();
    void OnControlSslErrors(const QList<QSslError>& errors);
    void OnDataSslErrors(const QList<QSslError>& errors);
    void KeepNewestTicket(const QSslSocket& socket);
    void DataConnectionMade();
    void StartDataEncryption();
    // After a refused certificate: with mayAsk, asks about an untrusted one (true: trusted now,
    // connect again); without, sets the box and the reason that tell why it was refused.
    bool ResolveCertificateRefusal(bool mayAsk);

    // Waiting.
    void WaitUntil(const std::function<bool()>& done, Channel channel);
    void Touch();
    void OnWatchdog();
    void OnDeadline();

    // Data connection.
    // Whether an address is the control connection's peer: the only host a data connection may
    // come from or go to.
    bool IsControlPeer(const QHostAddress& address) const;
    void OnIncoming(qintptr descriptor);
    void OnDataReadyRead();
    void OnDataDisconnected();
    void OnDataError(QAbstractSocket::SocketError error);
    void CloseAfterPeer();
    void NewDataSocket();
    void CloseData();
    bool OpenDataPort();
    bool OpenPassive();
    bool ConnectPassive(quint16 port);
    void OnDataConnected();
    void DataReady();
    bool DataEnded();
    // With stopOnAbend a stop fails the listing even when all of it came.
    bool TakeListing(const QString& command, bool stopOnAbend, RemoteListParser* listing);
    bool AwaitListingEnd(bool stopOnAbend);
    bool ChooseListMode();

    // Upload.
    void OnDataBytesWritten(qint64 bytes);
    void UploadMoved(qint64 bytes);
    bool UploadDrained();
    int DrainDescriptor() const;
    void ShutDownDrain();
    void RefillUpload();
    void EndUpload();
    bool StreamFile(UploadSource& file);
    bool PutFailed(const QString& reason, bool changed = false);
    bool RenameIntoPlace(const QString& part, const QString& remotePath);
    bool Rename(const QString& from, const QString& to);
    // Tells the host how much of the file has left this machine: handed to the system and no
    // longer in its send queue.
    void TellProgress();
    QString TransferFailure() const;

    FtpHost& m_host;
    ReplyFramer m_framer;  // holds the replies not yet handed to the handler
    bool m_replyHandedOver = false;
    bool m_loggingIn = false;
    bool m_loginRefused = false;  // the server refused the login of this connection
    QString m_hostPort;
    QString m_hostName;           // as the profile names it, for the certificate's name check
    Typ_ServerOptions m_options;  // of the server being run

    QByteArray m_tlsTicket;  // the newest session ticket any connection received
    CertificateRefusal m_certificateRefusal = CertificateRefusal::None;
    QSslCertificate m_refusedCertificate;
    QList<QSslError> m_certificateErrors;
    QString m_refusalBox;            // what to tell once a refused TLS attempt is over
    bool m_epsvRefused = false;      // EPSV refused on this connection: PASV from now on
    bool m_pasvAddressTold = false;  // the run log said once that a PASV address was not used

    QTimer m_watchdog;  // silence
    QTimer m_deadline;  // the whole wait
    int m_timeoutSec = 60;
    Channel m_waitChannel = Channel::Control;
    bool m_inErrorHandler = false;
    QString m_faultReason;

    bool m_dataOpening = false;       // a data connection is being made or its TLS handshake runs
    bool m_transferAsked = false;     // the transfer command for this data connection went
    bool m_dataHandshakeDue = false;  // a connection made before it waits for it to start TLS
    bool m_dataConnected = false;     // the data connection of this transfer is ready for data
    bool m_dataClosed = false;        // ... and has ended
    RemoteListParser* m_listing = nullptr;  // reads the data of the listing under way

    QByteArray m_uploadChunk;          // one read of the file, reused for every chunk
    QString m_putFailure;              // why the last FtpPutFile failed
    bool m_putChanged = false;         // ... because the file changed while it went
    QString m_putDigest;               // of the bytes the last FtpPutFile sent
    UploadSource* m_upload = nullptr;  // the file being streamed, while it is
    bool m_uploadSent = false;         // every byte handed over and the connection closed
    bool m_uploadBroken = false;       // read error or the server dropped the connection early
    qint64 m_uploadProgress = 0;       // bytes sent since the deadline last started afresh
    qint64 m_uploadQueued = 0;         // bytes the system held at the last look, once all went
    int m_drainDescriptor = -1;        // a TLS upload's connection, kept after Qt closed its own
    QString m_uploadLocalPath;         // the file being sent, for its progress
    qint64 m_uploadSize = 0;
    qint64 m_uploadBytes = 0;  // of it, handed to the system
    QTimer m_progress;         // tells its progress while it goes

    ListMode m_listMode = ListMode::Unknown;
    bool m_listByPath = false;
    // Data sockets done with, freed at the next wait (NewDataSocket).
    std::vector<std::unique_ptr<QSslSocket>> m_retiredData;
};
