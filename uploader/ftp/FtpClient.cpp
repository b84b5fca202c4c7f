#include "FtpClient.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <unistd.h>

#include <QCoreApplication>
#include <QHash>
#include <QScopeGuard>
#include <QSslCipher>
#include <cerrno>
#include <climits>

#include "API_IniFileAccess.h"
#include "CodePage.h"
#include "FtpAddress.h"
#include "FtpLimits.h"
#include "PartFile.h"
#include "PassiveReply.h"
#include "ServerCertificate.h"
#include "ServerText.h"
#include "SocketErrorText.h"

namespace {

constexpr qint64 kUploadChunk = 1024 * 1024;  // the most a transfer keeps in memory, twice over
constexpr qint64 kReadChunk = 1024 * 1024;    // the most one read takes off a socket
constexpr int kProgressMs = 250;              // between two reports of an upload's progress

const QString kControlFailure =
    QStringLiteral("[WSCONTROL]障害が発生しました。処理を異常終了させます。");
const QString kDataFailure = QStringLiteral("[WSDATA]障害が発生しました。処理を異常終了させます。");
const QString kTlsRefused =
    QStringLiteral("[TLS]サーバーが TLS での接続を受け付けませんでした。処理を異常終了させます。");
const QString kCertificateUntrusted =
    QStringLiteral("[TLS]サーバーの証明書を検証できません。処理を異常終了させます。");
const QString kCertificateChanged = QStringLiteral(
    "[TLS]サーバーの証明書が、信頼した証明書から変わっています。処理を異常終了させます。");
const QString kCrLf = QStringLiteral("\r\n");

// Commands answered by one reply, with the code that says yes.
const QHash<QString, QString> kSimpleReplies{
    {QStringLiteral("CWD"), QStringLiteral("250")},
    {QStringLiteral("MKD"), QStringLiteral("257")},
    {QStringLiteral("NOOP"), QStringLiteral("200")},
    {QStringLiteral("DELE"), QStringLiteral("250")},
    {QStringLiteral("RNFR"), QStringLiteral("350")},
    {QStringLiteral("RNTO"), QStringLiteral("250")},
};

// A CR or LF would end the command early and let the rest pass as a command of its own.
bool HasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

bool IsPreliminary(const QString& code) {
    return code == QLatin1String("150") || code == QLatin1String("125");
}

int Milliseconds(qint64 seconds) {
    return static_cast<int>(qMin<qint64>(seconds * 1000, INT_MAX));
}

// The address a connection comes from, read before any socket object takes it over.
QHostAddress PeerOf(qintptr descriptor) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) !=
        0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(&peer));
}

// One address in one form: IPv4 inside IPv6 as plain IPv4, no scope.
QHostAddress Plain(QHostAddress address) {
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(ipv4);
    address.setScopeId(QString());
    return address;
}

}  // namespace

FtpClient::FtpClient(FtpHost& host, QObject* parent) : QObject(parent), m_host(host) {
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &FtpClient::OnWatchdog);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &FtpClient::OnDeadline);
    m_progress.setInterval(kProgressMs);
    connect(&m_progress, &QTimer::timeout, this, &FtpClient::TellProgress);
    // No read takes more than this off a socket, however fast the server sends.
    wsControl.setReadBufferSize(kReadChunk);

    connect(&wsControl, &QTcpSocket::connected, this, &FtpClient::Touch);
    connect(&wsControl, &QTcpSocket::readyRead, this, &FtpClient::OnControlReadyRead);
    connect(&wsControl, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // The server closing the connection after QUIT is the expected end; a refused
        // certificate is told once the attempt is over.
        if (e == QAbstractSocket::RemoteHostClosedError && strFtpState == QLatin1String("QUIT"))
            return;
        // A server that refused the login may close at once (vsftpd does when it demands TLS):
        // its refusal says why, and the close is no fault of its own.
        if (e == QAbstractSocket::RemoteHostClosedError && m_loginRefused) {
            blnFtpError = true;
            return;
        }
        if (m_certificateRefusal != CertificateRefusal::None) {
            blnFtpError = true;
            return;
        }
        OnSocketError(Channel::Control, SocketErrorText::Number(e),
                      SocketErrorText::Description(e, wsControl.errorString()));
    });
    connect(&wsControl, &QSslSocket::encrypted, this, &FtpClient::OnControlEncrypted);
    connect(&wsControl, &QSslSocket::sslErrors, this, &FtpClient::OnControlSslErrors);
    connect(&wsControl, &QSslSocket::newSessionTicketReceived, this,
            [this] { KeepNewestTicket(wsControl); });

    wsData.OnIncoming = [this](qintptr descriptor) { OnIncoming(descriptor); };
    connect(&wsData, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError e) {
        OnSocketError(Channel::Data, SocketErrorText::Number(e),
                      SocketErrorText::Description(e, wsData.errorString()));
    });
    NewDataSocket();
}

FtpClient::~FtpClient() {
    disconnect(&wsControl, nullptr, this, nullptr);
    disconnect(wsDataSocket, nullptr, this, nullptr);
    wsData.OnIncoming = nullptr;
    wsControl.abort();
    wsDataSocket->abort();
    wsData.close();
    if (m_drainDescriptor >= 0)
        ::close(m_drainDescriptor);
}

void FtpClient::SetReplyTimeoutSec(int seconds) {
    m_timeoutSec = seconds > 0 ? seconds : 60;
}

// ---- control connection ---------------------------------------------------------------------

bool FtpClient::ConnectFtp(const Typ_Profile& profile) {
    return FtpLogin(profile) && EnterBase();
}

bool FtpClient::EnterBase() {
    if (!FtpChangeDir(strRemoteBaseDir) && !FtpMakeDir(strRemoteBaseDir))
        return false;
    GetRemoteDirList(strRemoteBaseDir, strRemoteList, lngRemoteListCount);
    return true;
}

bool FtpClient::FtpLogin(const Typ_Profile& profile) {
    CloseSockets();
    m_faultReason.clear();
    m_listMode = ListMode::Unknown;
    blnRemoteListRecursive = false;
    udtProfile = profile;

    FtpAddress address;
    if (!ParseFtpAddress(profile.FtpDir, &address) || HasLineBreak(profile.Account) ||
        HasLineBreak(profile.Passwd) || HasLineBreak(address.RemoteBase))
        return false;
    m_hostPort = address.HostPort();
    m_hostName = address.Host;
    m_options = m_host.ServerOptions(m_hostPort);

    bool loggedIn = Login(address.Host, address.Port);
    // A certificate the user now trusts: the refused attempt is made once more.
    if (!loggedIn && ResolveCertificateRefusal(true))
        loggedIn = Login(address.Host, address.Port);
    if (!loggedIn) {
        ResolveCertificateRefusal(false);
        if (!m_refusalBox.isEmpty())
            m_host.ShowSocketError(m_refusalBox);
        return false;
    }
    strLocalBaseDir = profile.LocalBaseDir;
    strRemoteBaseDir = address.RemoteBase;
    return true;
}

QString FtpClient::FeaturesAfterRefusal() {
    if (!m_loginRefused || TlsRequired() || wsControl.state() != QAbstractSocket::ConnectedState)
        return QString();
    return RunCommand(QStringLiteral("FEAT"), QStringLiteral("FEAT")) ? strLastReply : QString();
}

// Connects and logs in; with TLS required, AUTH TLS comes first and PBSZ and PROT after the
// password. The reply handler carries the steps out; true once TYPE I was accepted.
bool FtpClient::Login(const QString& host, quint16 port) {
    CloseSockets();
    // A state left at "QUIT" by the last run would make the reply handler ignore the login.
    strFtpState.clear();
    strLastReply.clear();
    blnFtpError = false;
    blnFtpDone = false;
    m_refusalBox.clear();
    m_certificateRefusal = CertificateRefusal::None;
    m_tlsTicket.clear();
    m_epsvRefused = false;
    m_pasvAddressTold = false;
    m_loggingIn = true;
    m_loginRefused = false;
    wsControl.connectToHost(host, port);
    WaitUntil([this] { return blnFtpDone; }, Channel::Control);
    m_loggingIn = false;
    return blnFtpDone && !blnFtpError;
}

bool FtpClient::FtpChangeDir(const QString& path) {
    return RunCommand(QStringLiteral("CWD"), QStringLiteral("CWD ") + path);
}

bool FtpClient::FtpMakeDir(const QString& path) {
    return RunCommand(QStringLiteral("MKD"), QStringLiteral("MKD ") + path);
}

bool FtpClient::FtpNoop() {
    return RunCommand(QStringLiteral("NOOP"), QStringLiteral("NOOP"));
}

bool FtpClient::FtpDeleteFile(const QString& path) {
    return RunCommand(QStringLiteral("DELE"), QStringLiteral("DELE ") + path);
}

bool FtpClient::Connected() const {
    return wsControl.state() == QAbstractSocket::ConnectedState;
}

void FtpClient::FtpQuit() {
    strFtpState = QStringLiteral("QUIT");
    if (SendCommand(QStringLiteral("QUIT")))
        wsControl.flush();
    CloseSockets();
}

void FtpClient::CloseSockets() {
    CloseData();
    wsControl.abort();
    m_framer.Clear();
}

bool FtpClient::SendCommand(const QString& command, const QString& logLine) {
    if (HasLineBreak(command) || wsControl.state() != QAbstractSocket::ConnectedState)
        return false;
    // Where TLS is required, nothing but the request for it goes in clear text.
    if (TlsRequired() && !wsControl.isEncrypted() && command != QLatin1String("AUTH TLS"))
        return false;
    wsControl.write(CodePage::FromUnicode(command) + "\r\n");
    m_host.Logging(logLine.isEmpty() ? command : logLine);
    return true;
}

// Sends one command in the given state and waits for its judgement (or for ready()).
bool FtpClient::RunCommand(const QString& state, const QString& command,
                           const std::function<bool()>& ready) {
    strFtpState = state;
    blnFtpError = false;
    blnFtpDone = false;
    if (blnAbend || !SendCommand(command))
        return false;
    if (state == QLatin1String("STOR") || state == QLatin1String("NLST")) {
        m_transferAsked = true;
        if (m_dataHandshakeDue) {
            m_dataHandshakeDue = false;
            StartDataEncryption();
        }
    }
    const auto readyNow = [this, &ready] { return blnFtpDone || (ready && ready()); };
    WaitUntil(readyNow, Channel::Control);
    return readyNow() && !blnFtpError;
}

void FtpClient::OnControlReadyRead() {
    const QByteArray bytes = wsControl.readAll();
    if (bytes.isEmpty())
        return;
    Touch();
    if (!m_framer.Feed(bytes)) {
        ProtocolError(Channel::Control, m_framer.Fault());
        return;
    }
    if (!m_replyHandedOver)
        HandOverReply();
}

// One complete reply per run of the handler; the rest wait for the next look at the flags.
bool FtpClient::HandOverReply() {
    QByteArray reply;
    if (!m_framer.Next(&reply))
        return false;
    m_replyHandedOver = true;
    HandleReply(reply);
    return true;
}

void FtpClient::HandleReply(const QByteArray& bytes) {
    const QString text = CodePage::ToUnicode(bytes);
    const QString code = text.left(3);
    m_host.Logging(ServerText::ReplyLogLine(text));
    strLastReply = text;
    // The server is closing the connection: its words say why, better than the close will.
    if (code == QLatin1String("421") && m_faultReason.isEmpty())
        m_faultReason = ServerText::Printable(text.simplified());

    if (strFtpState == QLatin1String("QUIT"))
        return;
    // 220, 331 and 230 mean something only while logging in; anywhere else they are as
    // unexpected as any other wrong code, and a 230 after a file is no 226.
    static const QStringList kLoginStates{QString(),
                                          QStringLiteral("AUTH"),
                                          QStringLiteral("USER"),
                                          QStringLiteral("PASS"),
                                          QStringLiteral("PBSZ"),
                                          QStringLiteral("PROT")};
    const bool awaitingLogin = kLoginStates.contains(strFtpState);
    if (m_loggingIn && awaitingLogin) {
        HandleLoginReply(code);
        return;
    }
    JudgeReply(code);
}

// Each login reply in its own step only. A refused login (530, 421 ...) or a step out of order
// ends the connection attempt; a preliminary reply waits. With TLS required, a refused AUTH,
// PBSZ or PROT ends it too: there is no way back to clear text.
void FtpClient::HandleLoginReply(const QString& code) {
    const QString& state = strFtpState;
    const bool preliminary = code.startsWith(QLatin1Char('1'));
    if (code == QLatin1String("220")) {
        // A second greeting after USER went asks for nothing.
        if (!state.isEmpty())
            return;
        if (TlsRequired()) {
            strFtpState = QStringLiteral("AUTH");
            SendCommand(QStringLiteral("AUTH TLS"));
        } else {
            SendUser();
        }
    } else if (state == QLatin1String("AUTH")) {
        if (code == QLatin1String("234") && wsControl.mode() == QSslSocket::UnencryptedMode) {
            wsControl.setSslConfiguration(TlsConfiguration());
            wsControl.setPeerVerifyName(m_hostName);
            wsControl.startClientEncryption();
        } else if (!preliminary) {
            TlsRefused(QStringLiteral("AUTH TLS"));
        }
    } else if (state == QLatin1String("PBSZ") || state == QLatin1String("PROT")) {
        if (code == QLatin1String("200") && state == QLatin1String("PBSZ")) {
            strFtpState = QStringLiteral("PROT");
            SendCommand(QStringLiteral("PROT P"));
        } else if (code == QLatin1String("200")) {
            SendType();
        } else if (!preliminary) {
            TlsRefused(state == QLatin1String("PBSZ") ? QStringLiteral("PBSZ 0")
                                                      : QStringLiteral("PROT P"));
        }
    } else if (code == QLatin1String("331") && state == QLatin1String("USER")) {
        strFtpState = QStringLiteral("PASS");
        SendCommand(QStringLiteral("PASS ") + udtProfile.Passwd, QStringLiteral("PASS *****"));
    } else if (code == QLatin1String("230") && state != QLatin1String("AUTH")) {
        if (TlsRequired()) {
            // Every data connection encrypted too, in both modes.
            strFtpState = QStringLiteral("PBSZ");
            SendCommand(QStringLiteral("PBSZ 0"));
        } else {
            SendType();
        }
    } else if (!preliminary) {
        m_loginRefused = true;
        blnFtpError = true;
    }
}

void FtpClient::SendUser() {
    strFtpState = QStringLiteral("USER");
    SendCommand(QStringLiteral("USER ") + udtProfile.Account);
}

void FtpClient::SendType() {
    strFtpState = QStringLiteral("TYPE");
    SendCommand(QStringLiteral("TYPE I"));
    m_host.WriteLog(QStringLiteral("SUCCESS - FTP CONNECTION - ") + m_hostPort);
}

// Told by ConnectFtp once the attempt is over, not from inside the reply handler.
void FtpClient::TlsRefused(const QString& step) {
    const QString reply = ServerText::Printable(strLastReply.simplified());
    m_faultReason =
        QStringLiteral("TLS refused by the server (") + step + QStringLiteral("): ") + reply;
    m_refusalBox = kTlsRefused + kCrLf + m_hostPort + QStringLiteral(" ") + step +
                   QStringLiteral(": ") + reply;
    blnFtpError = true;
}

void FtpClient::JudgeReply(const QString& code) {
    bool good;
    const QString& state = strFtpState;
    if (state == QLatin1String("TYPE")) {
        strFtpState.clear();
        good = code == QLatin1String("200");
    } else if (state == QLatin1String("PORT")) {
        good = code == QLatin1String("200");
    } else if (state == QLatin1String("EPSV")) {
        good = code == QLatin1String("229");
    } else if (state == QLatin1String("PASV")) {
        good = code == QLatin1String("227");
    } else if (kSimpleReplies.contains(state)) {
        // The end of an earlier transfer may come late; the reply that follows decides.
        if (code == QLatin1String("226"))
            return;
        const bool cwdOrMkd = state == QLatin1String("CWD") || state == QLatin1String("MKD");
        good = code == kSimpleReplies.value(state) || (cwdOrMkd && code == QLatin1String("521"));
    } else if (state == QLatin1String("NLST") || state == QLatin1String("STOR")) {
        good = IsPreliminary(code);
    } else if (state == QLatin1String("NLST_WAIT") || state == QLatin1String("WAIT_TRANS")) {
        // A file may go before the server's preliminary reply has come (TLS): it waits.
        if (state == QLatin1String("WAIT_TRANS") && IsPreliminary(code))
            return;
        good = code == QLatin1String("226");
    } else if (state == QLatin1String("FEAT")) {
        good = code == QLatin1String("211");
    } else if (state == QLatin1String("SIZE")) {
        good = code == QLatin1String("213");
    } else {
        return;
    }
    if (good)
        blnFtpDone = true;
    else
        blnFtpError = true;
}

void FtpClient::OnSocketError(Channel channel, int number, const QString& description) {
    if (m_inErrorHandler)
        return;
    m_inErrorHandler = true;
    // Both sockets are closed before the box, so the other one cannot raise a second box.
    CloseSockets();
    blnAbend = true;
    blnFtpError = true;
    if (m_faultReason.isEmpty())
        m_faultReason = description;
    const QString& first = channel == Channel::Control ? kControlFailure : kDataFailure;
    m_host.ShowSocketError(first + QStringLiteral("\r\n[") + QString::number(number) +
                           QStringLiteral("]") + description);
    m_inErrorHandler = false;
}

void FtpClient::ProtocolError(Channel channel, const QString& what) {
    OnSocketError(channel, EPROTO, QStringLiteral("Protocol error: the server sent ") + what);
}

// ---- waiting --------------------------------------------------------------------------------

// Lets events run until done(), blnFtpError or blnAbend (a stop ends every wait at once).
// Blocks in the event loop while nothing happens; the watchdog turns a silence longer than the
// reply time limit into a socket error.
void FtpClient::WaitUntil(const std::function<bool()>& done, Channel channel) {
    // No signal of a retired socket can be on the stack here: waits start from our own calls.
    m_retiredData.clear();
    m_waitChannel = channel;
    m_watchdog.start(Milliseconds(m_timeoutSec));
    m_deadline.start(Milliseconds(qint64{m_timeoutSec} * FtpLimits::kDeadlineFactor));
    for (;;) {
        m_replyHandedOver = false;
        if (blnFtpError || blnAbend || done())
            break;
        if (HandOverReply())
            continue;
        // Closed on our side (the program is unloading): no reply can come any more.
        if (wsControl.state() == QAbstractSocket::UnconnectedState)
            break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    m_watchdog.stop();
    m_deadline.stop();
}

void FtpClient::Touch() {
    if (m_watchdog.isActive())
        m_watchdog.start();
}

void FtpClient::OnWatchdog() {
    if (UploadDrained())
        return;
    OnSocketError(m_waitChannel, SocketErrorText::Number(QAbstractSocket::SocketTimeoutError),
                  QStringLiteral("Socket operation timed out (nothing from the server for %1 s)")
                      .arg(m_timeoutSec));
}

void FtpClient::OnDeadline() {
    if (UploadDrained() && m_deadline.isActive())
        return;
    OnSocketError(m_waitChannel, SocketErrorText::Number(QAbstractSocket::SocketTimeoutError),
                  QStringLiteral("Socket operation timed out (not finished within %1 s)")
                      .arg(qint64{m_timeoutSec} * FtpLimits::kDeadlineFactor));
}

// ---- TLS ------------------------------------------------------------------------------------

// The system's CAs, the peer verified, and sessions kept so the data connections can resume the
// control connection's.
QSslConfiguration FtpClient::TlsConfiguration() const {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    return configuration;
}

void FtpClient::OnControlEncrypted() {
    Touch();
    const QSslCipher cipher = wsControl.sessionCipher();
    m_host.Logging(QStringLiteral("TLS ") + cipher.protocolString() + u' ' + cipher.name());
    KeepNewestTicket(wsControl);
    if (strFtpState == QLatin1String("AUTH"))
        SendUser();
}

// A certificate that does not verify is taken only when it is the one the user trusted.
void FtpClient::OnControlSslErrors(const QList<QSslError>& errors) {
    const QSslCertificate certificate = wsControl.peerCertificate();
    const QByteArray fingerprint = ServerCertificate::Fingerprint(certificate);
    if (!fingerprint.isEmpty() && fingerprint == m_options.TrustedCertificate) {
        wsControl.ignoreSslErrors();
        return;
    }
    m_certificateRefusal = m_options.TrustedCertificate.isEmpty() ? CertificateRefusal::Untrusted
                                                                  : CertificateRefusal::Changed;
    m_refusedCertificate = certificate;
    m_certificateErrors = errors;
    blnFtpError = true;
}

// A data connection must show the certificate the control connection was accepted with.
void FtpClient::OnDataSslErrors(const QList<QSslError>&) {
    if (!wsDataSocket->peerCertificate().isNull() &&
        wsDataSocket->peerCertificate() == wsControl.peerCertificate())
        wsDataSocket->ignoreSslErrors();
}

// With TLS 1.3 a ticket resumes one session only, and servers send a new one after each
// resumption: the newest is the one to offer next.
void FtpClient::KeepNewestTicket(const QSslSocket& socket) {
    const QByteArray ticket = socket.sslConfiguration().sessionTicket();
    if (!ticket.isEmpty())
        m_tlsTicket = ticket;
}

// We are the TLS client on every data connection, also on one the server made to us. The
// handshake starts once the transfer has been asked for: a server that connects at PORT
// (pyftpdlib) drops a connection that speaks before its transfer command.
void FtpClient::DataConnectionMade() {
    if (!TlsRequired()) {
        DataReady();
        return;
    }
    m_dataOpening = true;
    m_dataHandshakeDue = !m_transferAsked;
    if (m_transferAsked)
        StartDataEncryption();
}

void FtpClient::StartDataEncryption() {
    QSslConfiguration configuration = TlsConfiguration();
    configuration.setSessionTicket(m_tlsTicket);
    wsDataSocket->setSslConfiguration(configuration);
    wsDataSocket->setPeerVerifyName(m_hostName);
    m_dataOpening = true;
    wsDataSocket->startClientEncryption();
}

bool FtpClient::ResolveCertificateRefusal(bool mayAsk) {
    const QString fingerprint =
        ServerCertificate::FingerprintText(ServerCertificate::Fingerprint(m_refusedCertificate));
    const QString setting = u'[' + ServerOptionKeys::Section(m_hostPort) + QStringLiteral("] ") +
                            ServerOptionKeys::kTrustedCertificate + u'=' + fingerprint;
    const QString settingsFile = API_IniFileAccess::IniDefaultPath();
    switch (m_certificateRefusal) {
        case CertificateRefusal::None:
            return false;
        case CertificateRefusal::Untrusted:
            if (mayAsk) {
                const QString question =
                    QStringLiteral("サーバーの証明書を検証できませんでした。") + kCrLf +
                    QStringLiteral("サーバー: ") + m_hostPort + kCrLf +
                    ServerCertificate::Describe(m_refusedCertificate, m_certificateErrors) + kCrLf +
                    kCrLf + QStringLiteral("この証明書を信頼して接続しますか？");
                const QByteArray digest = ServerCertificate::Fingerprint(m_refusedCertificate);
                if (!m_host.TrustCertificate(m_hostPort, digest, question))
                    return false;
                m_options.TrustedCertificate = digest;
                return true;
            }
            m_faultReason = QStringLiteral("certificate not trusted: SHA-256 ") + fingerprint +
                            QStringLiteral("; to trust it, set ") + setting +
                            QStringLiteral(" in the settings file");
            m_refusalBox = kCertificateUntrusted + kCrLf + QStringLiteral("サーバー: ") +
                           m_hostPort + kCrLf + QStringLiteral("SHA-256: ") + fingerprint + kCrLf +
                           QStringLiteral("信頼する場合は、設定ファイル ") + settingsFile +
                           QStringLiteral(" に ") + setting +
                           QStringLiteral(" を設定してください。");
            return false;
        case CertificateRefusal::Changed: {
            if (mayAsk)
                return false;
            const QString trusted =
                ServerCertificate::FingerprintText(m_options.TrustedCertificate);
            m_faultReason = QStringLiteral("certificate changed since it was trusted: SHA-256 ") +
                            fingerprint + QStringLiteral(", trusted ") + trusted;
            m_refusalBox =
                kCertificateChanged + kCrLf + QStringLiteral("サーバー: ") + m_hostPort + kCrLf +
                QStringLiteral("信頼した証明書 SHA-256: ") + trusted + kCrLf +
                QStringLiteral("現在の証明書:") + kCrLf +
                ServerCertificate::Describe(m_refusedCertificate, m_certificateErrors) + kCrLf +
                QStringLiteral("証明書の変更が正当なものと確かめられた場合に限り、設定ファイル ") +
                settingsFile + QStringLiteral(" の ") + setting +
                QStringLiteral(" としてください。");
            return false;
        }
    }
    return false;
}

// ---- data connection ------------------------------------------------------------------------

QString FtpClient::PortArgument(const QHostAddress& address, quint16 port) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        return address.toString().replace(QLatin1Char('.'), QLatin1Char(',')) + u',' +
               QString::number(port / 256) + u',' + QString::number(port % 256);
    }
    QHostAddress plain = address;
    plain.setScopeId(QString());
    return QStringLiteral("|2|") + plain.toString() + u'|' + QString::number(port) + u'|';
}

QString FtpClient::GetPortParameter() {
    CloseData();
    QHostAddress local = wsControl.localAddress();
    bool mapped = false;
    const quint32 ipv4 = local.toIPv4Address(&mapped);
    if (mapped)
        local = QHostAddress(ipv4);
    if (local.isNull() || !wsData.ListenOnFreePort(local))
        return QString();
    return PortArgument(local, wsData.serverPort());
}

// PORT (EPRT on IPv6) with a fresh listening socket, or in passive mode EPSV or PASV with our
// connection under way; true when the server took it.
bool FtpClient::OpenDataPort() {
    if (m_options.DataConnection == DC_Passive)
        return OpenPassive();
    const QString argument = GetPortParameter();
    if (argument.isEmpty())
        return false;
    const QString verb =
        argument.startsWith(u'|') ? QStringLiteral("EPRT ") : QStringLiteral("PORT ");
    return RunCommand(QStringLiteral("PORT"), verb + argument);
}

// EPSV first; once a server refuses it, PASV for the rest of the connection. The connection
// goes to the control connection's peer, whatever address a PASV reply names: behind NAT that
// is often a private one, and any other would let the server send our files to a third host.
bool FtpClient::OpenPassive() {
    CloseData();
    quint16 port = 0;
    if (!m_epsvRefused) {
        if (RunCommand(QStringLiteral("EPSV"), QStringLiteral("EPSV")))
            return PassiveReply::ParseEpsv(strLastReply, &port) && ConnectPassive(port);
        if (!blnFtpError || wsControl.state() != QAbstractSocket::ConnectedState)
            return false;
        m_epsvRefused = true;
    }
    if (!RunCommand(QStringLiteral("PASV"), QStringLiteral("PASV")))
        return false;
    QHostAddress given;
    if (!PassiveReply::ParsePasv(strLastReply, &given, &port))
        return false;
    if (!IsControlPeer(given) && !m_pasvAddressTold) {
        m_pasvAddressTold = true;
        m_host.WriteLog(QStringLiteral("WARNING - PASV ADDRESS NOT USED - ") + m_hostPort +
                        QStringLiteral("\tthe server gave ") + given.toString() +
                        QStringLiteral(", the data connection goes to ") +
                        Plain(wsControl.peerAddress()).toString());
    }
    return ConnectPassive(port);
}

bool FtpClient::ConnectPassive(quint16 port) {
    m_dataOpening = true;
    wsDataSocket->connectToHost(Plain(wsControl.peerAddress()), port);
    return true;
}

void FtpClient::OnDataConnected() {
    Touch();
    DataConnectionMade();
}

// The data connection of this transfer can carry data: connected, and with TLS encrypted.
void FtpClient::DataReady() {
    m_dataOpening = false;
    m_dataConnected = true;
    m_dataClosed = false;
    Touch();
}

bool FtpClient::IsControlPeer(const QHostAddress& address) const {
    const QHostAddress peer = Plain(wsControl.peerAddress());
    return !peer.isNull() && Plain(address) == peer;
}

void FtpClient::OnIncoming(qintptr descriptor) {
    const QHostAddress peer = PeerOf(descriptor);
    const bool fromServer = IsControlPeer(peer);
    if (!fromServer || wsDataSocket->state() != QAbstractSocket::UnconnectedState) {
        // Another host would take the file or hand over a listing of its own; the right
        // connection may still come, within the same time limits.
        QTcpSocket refused;
        refused.setSocketDescriptor(descriptor);
        refused.abort();
        if (!fromServer)
            m_host.Logging(QStringLiteral("REFUSED DATA CONNECTION FROM ") +
                           Plain(peer).toString());
        return;
    }
    wsData.close();
    wsDataSocket->setSocketDescriptor(descriptor);
    DataConnectionMade();
    Touch();
}

void FtpClient::OnDataReadyRead() {
    if (!m_dataConnected || !wsDataSocket->isReadable())
        return;
    const QByteArray bytes = wsDataSocket->readAll();
    Touch();
    if (m_listing && !m_listing->Feed(bytes))
        ProtocolError(Channel::Data, m_listing->Fault());
}

// The server's orderly close is the end of the data, not a fault. After a TLS upload it is our
// own close, once the close message went.
void FtpClient::OnDataDisconnected() {
    ShutDownDrain();
    if (!m_dataConnected || m_dataClosed)
        return;
    OnDataReadyRead();
    m_dataClosed = true;
    if (m_upload && !m_uploadSent)
        m_uploadBroken = true;
    Touch();
}

void FtpClient::OnDataError(QAbstractSocket::SocketError error) {
    if (!m_dataConnected && !m_dataOpening)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // A TLS peer's close message: the end of its data. Our side closes too, which ends the
        // connection (the server may wait for that before it reports the transfer).
        // Not from inside Qt's own handling of the message.
        if (wsDataSocket->isEncrypted())
            QMetaObject::invokeMethod(this, &FtpClient::CloseAfterPeer, Qt::QueuedConnection);
        return;
    }
    OnSocketError(Channel::Data, SocketErrorText::Number(error),
                  SocketErrorText::Description(error, wsDataSocket->errorString()));
}

void FtpClient::CloseAfterPeer() {
    if (m_dataConnected && !m_dataClosed && wsDataSocket->isEncrypted() &&
        wsDataSocket->state() == QAbstractSocket::ConnectedState) {
        OnDataReadyRead();
        wsDataSocket->disconnectFromHost();
    }
}

// A fresh socket for every data connection: Qt's TLS socket keeps state of the last connection
// (a peer's close message, for one) that would silence the close message of the next.
// The old one is retired rather than deleted: this may run inside one of its own signals (an
// error that ends the run). It is freed at the next wait, never later, since a deleteLater()
// inside the walk's nested waits would keep every socket of the run until the run ends.
void FtpClient::NewDataSocket() {
    if (wsDataSocket) {
        disconnect(wsDataSocket, nullptr, this, nullptr);
        wsDataSocket->abort();
        m_retiredData.emplace_back(wsDataSocket);
    }
    wsDataSocket = new QSslSocket(this);
    wsDataSocket->setReadBufferSize(kReadChunk);
    connect(wsDataSocket, &QTcpSocket::connected, this, &FtpClient::OnDataConnected);
    connect(wsDataSocket, &QTcpSocket::readyRead, this, &FtpClient::OnDataReadyRead);
    connect(wsDataSocket, &QTcpSocket::disconnected, this, &FtpClient::OnDataDisconnected);
    connect(wsDataSocket, &QTcpSocket::errorOccurred, this, &FtpClient::OnDataError);
    connect(wsDataSocket, &QTcpSocket::bytesWritten, this, &FtpClient::OnDataBytesWritten);
    connect(wsDataSocket, &QSslSocket::encrypted, this, [this] {
        KeepNewestTicket(*wsDataSocket);
        DataReady();
    });
    connect(wsDataSocket, &QSslSocket::encryptedBytesWritten, this, [this] {
        Touch();
        RefillUpload();
    });
    connect(wsDataSocket, &QSslSocket::sslErrors, this, &FtpClient::OnDataSslErrors);
    connect(wsDataSocket, &QSslSocket::newSessionTicketReceived, this,
            [this] { KeepNewestTicket(*wsDataSocket); });
}

void FtpClient::CloseData() {
    m_upload = nullptr;
    wsData.close();
    NewDataSocket();
    if (m_drainDescriptor >= 0)
        ::close(m_drainDescriptor);
    m_drainDescriptor = -1;
    m_transferAsked = false;
    m_dataHandshakeDue = false;
    m_dataOpening = false;
    m_dataConnected = false;
    m_dataClosed = false;
}

// The data connection has ended, or the server finished without ever opening one.
bool FtpClient::DataEnded() {
    if (!m_dataConnected && !m_dataOpening && wsData.isListening())
        wsData.waitForNewConnection(0);  // a connection the event loop has not reported yet
    if (m_dataOpening)
        return false;
    return !m_dataConnected || m_dataClosed;
}

// PORT, the listing command, then both its final reply and the end of its data, which the
// listing reads as it comes.
bool FtpClient::TakeListing(const QString& command, bool stopOnAbend, RemoteListParser* listing) {
    m_listing = listing;
    const bool ok = OpenDataPort() && RunCommand(QStringLiteral("NLST"), command) &&
                    AwaitListingEnd(stopOnAbend);
    CloseData();
    m_listing = nullptr;
    return ok && listing->Finish();
}

bool FtpClient::AwaitListingEnd(bool stopOnAbend) {
    strFtpState = QStringLiteral("NLST_WAIT");
    blnFtpDone = false;
    blnFtpError = false;
    WaitUntil(
        [this] {
            m_waitChannel = blnFtpDone ? Channel::Data : Channel::Control;
            return blnFtpDone && DataEnded();
        },
        Channel::Control);
    return blnFtpDone && !blnFtpError && !(stopOnAbend && blnAbend) && DataEnded();
}

// ---- listings -------------------------------------------------------------------------------

void FtpClient::GetRemoteDirList(const QString& path, RemoteListing& result, qint32& count) {
    RemoteListParser listing(RemoteListParser::Form::Recursive, path);
    count = 0;
    if (!TakeListing(QStringLiteral("NLST -aILR ") + path, false, &listing))
        return;
    blnRemoteListRecursive = listing.SawHeader();
    if (listing.Entries().IsEmpty())
        return;
    result = listing.Entries();
    count = static_cast<qint32>(result.Size());
}

bool FtpClient::FtpExistFile(const QString& remotePath) {
    const qsizetype slash = remotePath.lastIndexOf(QLatin1Char('/'));
    const QString dir = slash < 0 ? remotePath : remotePath.left(slash);
    const QString name = slash < 0 ? remotePath : remotePath.mid(slash + 1);
    if (!FtpChangeDir(dir))
        return false;
    RemoteListParser listing(RemoteListParser::Form::Names, dir);
    if (!TakeListing(QStringLiteral("NLST ") + name, true, &listing)) {
        // Some servers (pure-ftpd) refuse a name list of a single file even when it is there:
        // a refusal is checked once more with SIZE, which every server answers for a file.
        return !blnAbend && wsControl.state() == QAbstractSocket::ConnectedState &&
               RunCommand(QStringLiteral("SIZE"), QStringLiteral("SIZE ") + name);
    }
    // Exactly the one name: a classic server's ls lists the pieces of a name with blanks.
    const RemoteListing& entries = listing.Entries();
    return entries.Size() == 1 && entries.Contains(dir + u'/' + name);
}

// FEAT once per connection: MLSD when offered, else NLST -a.
bool FtpClient::ChooseListMode() {
    if (m_listMode != ListMode::Unknown)
        return true;
    if (RunCommand(QStringLiteral("FEAT"), QStringLiteral("FEAT"))) {
        m_listMode =
            RemoteListParser::FeatOffersMlsd(strLastReply) ? ListMode::Mlsd : ListMode::NlstAll;
        return true;
    }
    if (wsControl.state() != QAbstractSocket::ConnectedState)
        return false;
    m_listMode = ListMode::NlstAll;
    return true;
}

bool FtpClient::ListRemoteDir(const QString& dir, RemoteListing* paths) {
    // MLSD takes a path of its own, which no ls ever sees: the folder need not be entered.
    const bool byPath = m_listByPath && ChooseListMode() && m_listMode == ListMode::Mlsd;
    if (!byPath && (!FtpChangeDir(dir) || !ChooseListMode()))
        return false;
    const auto list = [&](const QString& command, RemoteListParser::Form form) {
        RemoteListParser listing(form, dir);
        if (!TakeListing(command, false, &listing))
            return false;
        *paths = listing.Entries();
        return true;
    };
    switch (m_listMode) {
        case ListMode::Mlsd:
            return list(byPath ? QStringLiteral("MLSD ") + dir : QStringLiteral("MLSD"),
                        RemoteListParser::Form::Machine);
        case ListMode::NlstAll:
            if (list(QStringLiteral("NLST -a"), RemoteListParser::Form::Names))
                return true;
            // A server that takes no options refuses "-a" as a name: plain NLST from now on.
            if (wsControl.state() != QAbstractSocket::ConnectedState ||
                !list(QStringLiteral("NLST"), RemoteListParser::Form::Names))
                return false;
            m_listMode = ListMode::Nlst;
            return true;
        default:
            return list(QStringLiteral("NLST"), RemoteListParser::Form::Names);
    }
}

// ---- upload ---------------------------------------------------------------------------------

bool FtpClient::FtpPutFile(const QString& localPath, const QString& remotePath) {
    m_putFailure.clear();
    m_putChanged = false;
    m_putDigest.clear();
    if (m_host.InvestigateMode()) {
        // Nothing goes, but the file is read for its digest: a tree that is on the server
        // already starts with full rows. A file that cannot be read is recorded without one.
        UploadSource source;
        if (source.Open(localPath) && source.ReadToEnd())
            m_putDigest = source.Digest();
        return true;
    }
    if (HasLineBreak(remotePath))
        return PutFailed(QStringLiteral("a line break in the remote name cannot be sent"));
    // An unreadable file, or something that is no regular file, never reaches the server.
    UploadSource source;
    if (!source.Open(localPath))
        return PutFailed(source.Error());
    m_uploadLocalPath = localPath;
    m_uploadSize = source.Size();
    m_uploadBytes = 0;
    m_host.UploadProgress(localPath, 0, m_uploadSize);
    const auto ended = qScopeGuard([this] { m_host.UploadEnded(); });
    const bool temporary = m_options.TempUpload == TU_On;
    const QString storePath = temporary ? PartFile::PathOf(remotePath) : remotePath;
    // With TLS, a finished handshake on the data connection says that the server has taken the
    // transfer: the file goes then, without waiting for the preliminary reply to come back.
    if (!OpenDataPort() || !RunCommand(QStringLiteral("STOR"), QStringLiteral("STOR ") + storePath,
                                       [this] { return TlsRequired() && m_dataConnected; })) {
        CloseData();
        return PutFailed(TransferFailure());
    }
    strFtpState = QStringLiteral("WAIT_TRANS");
    blnFtpDone = false;
    blnFtpError = false;
    const bool stored = StreamFile(source);
    CloseData();
    if (!stored)
        return PutFailed(source.Error().isEmpty() ? TransferFailure() : source.Error(),
                         source.Changed());
    // A part that cannot take its name stays behind: the next run that lists its folder deletes
    // it.
    if (temporary && !RenameIntoPlace(storePath, remotePath))
        return PutFailed(TransferFailure());
    m_putDigest = source.Digest();
    if (blnQuitAfterFile)
        blnAbend = true;
    return true;
}

bool FtpClient::PutFailed(const QString& reason, bool changed) {
    m_putFailure = reason;
    m_putChanged = changed;
    return false;
}

// Some servers refuse to rename onto an existing name: the old file is deleted first then, and
// the run log says so once (for a moment the file is missing).
bool FtpClient::RenameIntoPlace(const QString& part, const QString& remotePath) {
    if (Rename(part, remotePath))
        return true;
    const bool refusedForGood = strFtpState == QLatin1String("RNTO") && blnFtpError && !blnAbend &&
                                strLastReply.startsWith(u'5');
    if (!refusedForGood || !FtpDeleteFile(remotePath) || !Rename(part, remotePath))
        return false;
    m_host.WriteLog(PartFile::kRenameNotAtomic + u'\t' + m_hostPort);
    return true;
}

bool FtpClient::Rename(const QString& from, const QString& to) {
    return RunCommand(QStringLiteral("RNFR"), QStringLiteral("RNFR ") + from) &&
           RunCommand(QStringLiteral("RNTO"), QStringLiteral("RNTO ") + to);
}

void FtpClient::TellProgress() {
    const int descriptor = DrainDescriptor();
    int queued = 0;
    if (descriptor < 0 || ::ioctl(descriptor, SIOCOUTQ, &queued) != 0)
        queued = 0;
    m_host.UploadProgress(m_uploadLocalPath,
                          qBound<qint64>(0, m_uploadBytes - queued, m_uploadSize), m_uploadSize);
}

// Why the transfer under way failed: the fault that ended the connection, a stop, or the reply
// with which the server refused it.
QString FtpClient::TransferFailure() const {
    if (!m_faultReason.isEmpty())
        return m_faultReason;
    if (blnAbend)
        return QStringLiteral("stopped");
    if (blnFtpError)
        return ServerText::Printable(strLastReply.simplified());
    return QStringLiteral("the transfer did not complete");
}

// Sends the file on the data connection once the server has opened it, closes it at the end
// and waits for the server's verdict. True only for a whole, unchanged file the server
// confirmed with 226.
bool FtpClient::StreamFile(UploadSource& file) {
    WaitUntil([this] { return m_dataConnected || blnFtpDone || blnAbend; }, Channel::Data);
    if (!m_dataConnected || blnFtpError || blnAbend || blnFtpDone)
        return false;
    m_upload = &file;
    m_uploadSent = false;
    m_uploadBroken = false;
    m_uploadProgress = 0;
    m_uploadQueued = 0;
    m_progress.start();
    RefillUpload();
    WaitUntil([this] { return blnFtpDone || blnAbend; },
              m_uploadSent ? Channel::Control : Channel::Data);
    m_progress.stop();
    const bool stored = blnFtpDone && !blnFtpError && !blnAbend && m_uploadSent && !m_uploadBroken;
    if (stored)
        m_host.UploadProgress(m_uploadLocalPath, m_uploadSize, m_uploadSize);
    return stored;
}

void FtpClient::OnDataBytesWritten(qint64 bytes) {
    UploadMoved(bytes);
    if (m_upload)
        m_uploadBytes += bytes;
    RefillUpload();
}

// A file that is really moving is no silence, and its deadline starts afresh now and then.
void FtpClient::UploadMoved(qint64 bytes) {
    Touch();
    m_uploadProgress += bytes;
    if (m_uploadProgress >= FtpLimits::kStoreProgress && m_deadline.isActive()) {
        m_uploadProgress = 0;
        m_deadline.start();
    }
}

// Once the whole file is handed over, the system still sends what it holds of it, on a slow
// link for long: true when some of that has left since the last look.
bool FtpClient::UploadDrained() {
    const int descriptor = DrainDescriptor();
    if (!m_upload || !m_uploadSent || m_uploadQueued <= 0 || descriptor < 0)
        return false;
    int queued = 0;
    if (::ioctl(descriptor, SIOCOUTQ, &queued) != 0 || queued >= m_uploadQueued)
        return false;
    UploadMoved(m_uploadQueued - queued);
    m_uploadQueued = queued;
    return true;
}

// The connection whose send queue shows an upload's last bytes leaving; -1 when none does.
int FtpClient::DrainDescriptor() const {
    if (m_drainDescriptor >= 0)
        return m_drainDescriptor;
    return m_dataClosed ? -1 : static_cast<int>(wsDataSocket->socketDescriptor());
}

// The end of the file for the server. The socket stays open for sending, closed only for
// writing, so that UploadDrained can still see the system's queue. A TLS connection first sends
// its close message, which only Qt can write and which closes Qt's descriptor: a copy of it
// keeps the connection until the server has confirmed the file.
void FtpClient::EndUpload() {
    m_uploadSent = true;
    m_uploadBytes = m_uploadSize;
    m_waitChannel = Channel::Control;
    const int descriptor = static_cast<int>(wsDataSocket->socketDescriptor());
    if (wsDataSocket->isEncrypted()) {
        m_drainDescriptor = ::dup(descriptor);
        wsDataSocket->disconnectFromHost();
        return;
    }
    int queued = 0;
    if (::shutdown(descriptor, SHUT_WR) != 0) {
        wsDataSocket->disconnectFromHost();
        return;
    }
    m_uploadQueued = ::ioctl(descriptor, SIOCOUTQ, &queued) == 0 ? queued : 0;
}

// Qt has closed its descriptor of a TLS upload's connection: the copy ends it for writing.
void FtpClient::ShutDownDrain() {
    if (m_drainDescriptor < 0 || m_uploadQueued > 0 || !m_uploadSent)
        return;
    int queued = 0;
    ::shutdown(m_drainDescriptor, SHUT_WR);
    m_uploadQueued = ::ioctl(m_drainDescriptor, SIOCOUTQ, &queued) == 0 ? queued : 0;
}

// Keeps at most one chunk queued on the socket; at the end of the file closes the connection,
// which tells the server that the file is complete.
void FtpClient::RefillUpload() {
    if (!m_upload || m_uploadSent || m_uploadBroken || !m_dataConnected || m_dataClosed)
        return;
    if (m_uploadChunk.size() != kUploadChunk)
        m_uploadChunk.resize(kUploadChunk);
    // A TLS socket hands what it encrypted to a buffer of its own: both count.
    while (wsDataSocket->bytesToWrite() + wsDataSocket->encryptedBytesToWrite() < kUploadChunk) {
        qint64 got = m_upload->Read(m_uploadChunk.data(), kUploadChunk);
        // A file that changed while it went must not end as a whole file either.
        if (got == 0 && !m_upload->Unchanged())
            got = -1;
        if (got < 0) {
            // Abort rather than close, so the server cannot take the part for the whole file.
            m_uploadBroken = true;
            m_waitChannel = Channel::Control;
            wsDataSocket->abort();
            return;
        }
        if (got == 0) {
            if (wsDataSocket->bytesToWrite() + wsDataSocket->encryptedBytesToWrite() == 0)
                EndUpload();
            return;
        }
        wsDataSocket->write(m_uploadChunk.constData(), got);
    }
}
