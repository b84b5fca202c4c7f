#include "SftpClient.h"

#include <QScopeGuard>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <optional>

#include "API_IniFileAccess.h"
#include "CodePage.h"
#include "FtpLimits.h"
#include "HostKeyFingerprint.h"
#include "RemoteListParser.h"
#include "ServerText.h"
#include "SocketErrorText.h"
#include "UploadSource.h"

namespace {

constexpr int kStopped = INT_MIN;

// What one WRITE carries, and how much of a file may be on its way unacknowledged: as OpenSSH's
// sftp client does, enough to keep a far server busy, little enough to stay small.
constexpr qint64 kWriteBlock = 32 * 1024;
constexpr qint64 kWritesInFlight = 64 * kWriteBlock;
// Folders of a listing read at the same time.
constexpr int kFoldersInFlight = 64;
// The most one read of the channel takes.
constexpr qint64 kChannelRead = 256 * 1024;
// Looks libssh may take at the socket to send what it holds, each one write.
constexpr int kFlushRounds = 16;
// Rounds of keyboard-interactive questions a server may ask.
constexpr int kPromptRounds = 4;

const QString kSshFailure = QStringLiteral("[SSH]障害が発生しました。処理を異常終了させます。");
const QString kHostKeyUntrusted =
    QStringLiteral("[SSH]サーバーのホスト鍵を確認できません。処理を異常終了させます。");
const QString kHostKeyChanged = QStringLiteral(
    "[SSH]サーバーのホスト鍵が、以前の鍵から変わっています。処理を異常終了させます。");
const QString kCrLf = QStringLiteral("\r\n");

const char* const kKeyFiles[] = {"id_ed25519", "id_ecdsa", "id_rsa"};

int Milliseconds(qint64 seconds) {
    return static_cast<int>(qMin<qint64>(seconds * 1000, INT_MAX));
}

QString Join(const QString& dir, const QString& name) {
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

// The SHA-256 digest of a public key, as ssh-keygen -l shows it.
QByteArray DigestOf(const ssh_key key) {
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
        return QByteArray();
    const QByteArray digest(reinterpret_cast<const char*>(hash), static_cast<qsizetype>(length));
    ssh_clean_pubkey_hash(&hash);
    return digest;
}

QString KnownHostsPath() {
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}

// The login methods a server offers, as OpenSSH names them.
QString MethodNames(int methods) {
    QStringList names;
    if (methods & SSH_AUTH_METHOD_PUBLICKEY)
        names << QStringLiteral("publickey");
    if (methods & SSH_AUTH_METHOD_PASSWORD)
        names << QStringLiteral("password");
    if (methods & SSH_AUTH_METHOD_INTERACTIVE)
        names << QStringLiteral("keyboard-interactive");
    return names.isEmpty() ? QStringLiteral("nothing we can use") : names.join(u',');
}

}  // namespace

SftpClient::SftpClient(FtpHost& host, QObject* parent)
    : QObject(parent), m_host(host), m_in(kChannelRead, Qt::Uninitialized) {
    // Once per process, before any session; thread-safe as a static's initialisation is.
    static const int initialized = ssh_init();
    Q_UNUSED(initialized);
    m_watchdog.setSingleShot(true);
    m_deadline.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        Fault(SocketErrorText::Number(QAbstractSocket::SocketTimeoutError),
              QStringLiteral("Socket operation timed out (nothing from the server for %1 s)")
                  .arg(m_timeoutSec));
    });
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        Fault(SocketErrorText::Number(QAbstractSocket::SocketTimeoutError),
              QStringLiteral("Socket operation timed out (not finished within %1 s)")
                  .arg(qint64{m_timeoutSec} * FtpLimits::kDeadlineFactor));
    });
}

SftpClient::~SftpClient() {
    FreeSession();
}

void SftpClient::SetReplyTimeoutSec(int seconds) {
    m_timeoutSec = seconds > 0 ? seconds : 60;
}

bool SftpClient::Connected() const {
    return m_channel && !m_faulted;
}

// ---- login ----------------------------------------------------------------------------------

bool SftpClient::ConnectFtp(const Typ_Profile& profile) {
    return FtpLogin(profile) && EnterBase();
}

bool SftpClient::EnterBase() {
    if (!FtpChangeDir(strRemoteBaseDir) && !FtpMakeDir(strRemoteBaseDir))
        return false;
    RemoteListing entries;
    blnRemoteListRecursive = ListTree(strRemoteBaseDir, true, &entries);
    strRemoteList = blnRemoteListRecursive ? entries : RemoteListing();
    lngRemoteListCount = static_cast<qint32>(strRemoteList.Size());
    return true;
}

bool SftpClient::FtpLogin(const Typ_Profile& profile) {
    CloseSockets();
    m_faulted = false;
    m_faultReason.clear();
    strLastReply.clear();
    blnRemoteListRecursive = false;
    udtProfile = profile;
    FtpAddress address;
    if (!ParseFtpAddress(profile.FtpDir, &address) || !address.Sftp)
        return false;
    m_hostPort = address.HostPort();
    m_options = m_host.ServerOptions(m_hostPort);
    if (!OpenSocket(address) || !OpenSession(address) || !HostKeyAccepted() || !Authenticate() ||
        !StartSftp()) {
        CloseSockets();
        return false;
    }
    strLocalBaseDir = profile.LocalBaseDir;
    strRemoteBaseDir = address.RemoteBase;
    return true;
}

// The TCP connection: to each of the host's addresses in turn until one takes it.
bool SftpClient::OpenSocket(const FtpAddress& address) {
    QList<QHostAddress> addresses;
    const QHostAddress literal(address.Host);
    if (!literal.isNull())
        addresses.append(literal);
    else if (!LookUp(address.Host, &addresses))
        return false;
    int error = EHOSTUNREACH;
    for (const QHostAddress& candidate : addresses) {
        if (ConnectTo(candidate, address.Port, &error))
            return true;
        if (m_faulted || blnAbend)
            return false;
    }
    Fault(error, qt_error_string(error));
    return false;
}

bool SftpClient::LookUp(const QString& host, QList<QHostAddress>* addresses) {
    // Shared with the answer, which may come after a stop ended the wait.
    const auto info = std::make_shared<std::optional<QHostInfo>>();
    const int lookup =
        QHostInfo::lookupHost(host, this, [info](const QHostInfo& answer) { *info = answer; });
    if (!Wait([&info] { return info->has_value(); })) {
        QHostInfo::abortHostLookup(lookup);
        return false;
    }
    if ((*info)->error() != QHostInfo::NoError || (*info)->addresses().isEmpty()) {
        const auto kind = QAbstractSocket::HostNotFoundError;
        Fault(SocketErrorText::Number(kind),
              SocketErrorText::Description(kind, (*info)->errorString()));
        return false;
    }
    *addresses = (*info)->addresses();
    return true;
}

bool SftpClient::ConnectTo(const QHostAddress& address, quint16 port, int* error) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
    m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        *error = errno;
        return false;
    }
    // Requests are small and answered one by one: none may wait for the one before it.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_readable = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    m_writable = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Write);
    connect(m_readable.get(), &QSocketNotifier::activated, this, [this] {
        m_readable->setEnabled(false);
        Touch();
    });
    connect(m_writable.get(), &QSocketNotifier::activated, this,
            [this] { m_writable->setEnabled(false); });
    Disarm();
    const int rc = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&storage), length);
    *error = rc == 0 ? 0 : errno;
    if (rc != 0 && errno == EINPROGRESS) {
        m_connecting = true;
        const bool ended = Wait([this] {
            pollfd ready{m_fd, POLLOUT, 0};
            return ::poll(&ready, 1, 0) > 0;
        });
        m_connecting = false;
        socklen_t size = sizeof *error;
        if (!ended || ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, error, &size) != 0)
            *error = ended ? errno : 0;
    }
    if (*error == 0 && !m_faulted && !blnAbend)
        return true;
    FreeSession();
    return false;
}

// The SSH handshake on the connected socket, which the session takes over. No ssh_config is
// read: the profile says everything, and the known_hosts file is the one under $HOME.
bool SftpClient::OpenSession(const FtpAddress& address) {
    m_session = ssh_new();
    if (!m_session) {
        Fault(ENOMEM, QStringLiteral("libssh cannot start a session"));
        return false;
    }
    const QByteArray host = address.Host.toUtf8();
    const unsigned int port = address.Port;
    const QByteArray user = udtProfile.Account.toUtf8();
    const QByteArray knownHosts = QFile::encodeName(KnownHostsPath());
    m_knownHostsName = address.Port == 22 ? address.Host
                                          : u'[' + address.Host + QStringLiteral("]:") +
                                                QString::number(address.Port);
    const int no = 0;
    ssh_options_set(m_session, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(m_session, SSH_OPTIONS_HOST, host.constData());
    ssh_options_set(m_session, SSH_OPTIONS_PORT, &port);
    ssh_options_set(m_session, SSH_OPTIONS_USER, user.constData());
    ssh_options_set(m_session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.constData());
    ssh_options_set(m_session, SSH_OPTIONS_FD, &m_fd);
    ssh_set_blocking(m_session, 0);
    const int rc = Await(
        [this] {
            m_sessionOwnsSocket = true;
            return ssh_connect(m_session);
        },
        SSH_AGAIN);
    if (rc == kStopped)
        return false;
    if (rc != SSH_OK) {
        SshFault();
        return false;
    }
    const char* banner = ssh_get_serverbanner(m_session);
    m_host.Logging(QStringLiteral("SSH ") +
                   ServerText::Printable(QString::fromLatin1(banner ? banner : "")));
    return true;
}

// A key the known_hosts files hold, or the one the server's settings trust, is taken; another
// key where one of them names the host is refused as changed; an unknown key is asked about.
bool SftpClient::HostKeyAccepted() {
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(m_session, &key) != SSH_OK) {
        SshFault();
        return false;
    }
    const QByteArray digest = DigestOf(key);
    const QString type = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key)));
    ssh_key_free(key);
    const QString shown = type + u' ' + HostKeyFingerprint::Text(digest);
    m_host.Logging(QStringLiteral("HOST KEY ") + shown);
    const ssh_known_hosts_e known = ssh_session_is_known_server(m_session);
    if (known == SSH_KNOWN_HOSTS_OK || digest == m_options.TrustedHostKey)
        return true;
    // Another key of this type, or keys of other types only.
    const bool inFile = known == SSH_KNOWN_HOSTS_CHANGED || known == SSH_KNOWN_HOSTS_OTHER;

    const QString setting = u'[' + ServerOptionKeys::Section(m_hostPort) + QStringLiteral("] ") +
                            ServerOptionKeys::kTrustedHostKey + u'=' +
                            HostKeyFingerprint::Text(digest);
    const QString settingsFile = API_IniFileAccess::IniDefaultPath();
    if (inFile || !m_options.TrustedHostKey.isEmpty()) {
        const QString before =
            inFile ? KnownKey(type) : HostKeyFingerprint::Text(m_options.TrustedHostKey);
        const QString where = inFile ? QStringLiteral("known_hosts") : settingsFile;
        return RefuseHostKey(
            QStringLiteral("host key changed: ") + shown + QStringLiteral(", known ") + before +
                QStringLiteral(" in ") + where,
            kHostKeyChanged + kCrLf + QStringLiteral("サーバー: ") + m_hostPort + kCrLf +
                QStringLiteral("以前の鍵: ") + before + QStringLiteral(" (") + where +
                QStringLiteral(")") + kCrLf + QStringLiteral("現在の鍵: ") + shown + kCrLf +
                QStringLiteral("鍵の変更が正当なものと確かめられた場合に限り、") +
                (inFile ? QStringLiteral("known_hosts から以前の鍵を削除する (ssh-keygen -R) か、"
                                         "設定ファイル ") +
                              settingsFile + QStringLiteral(" に ") + setting +
                              QStringLiteral(" を設定してください。")
                        : QStringLiteral("設定ファイル ") + settingsFile + QStringLiteral(" の ") +
                              setting + QStringLiteral(" としてください。")));
    }
    const QString question =
        QStringLiteral("サーバーのホスト鍵を確認できませんでした。") + kCrLf +
        QStringLiteral("サーバー: ") + m_hostPort + kCrLf + QStringLiteral("鍵の種類: ") + type +
        kCrLf + QStringLiteral("フィンガープリント: ") + HostKeyFingerprint::Text(digest) + kCrLf +
        kCrLf + QStringLiteral("この鍵を信頼して接続しますか？");
    if (m_host.TrustHostKey(m_hostPort, digest, question)) {
        m_options.TrustedHostKey = digest;
        return !m_faulted && !blnAbend;
    }
    return RefuseHostKey(
        QStringLiteral("host key not trusted: ") + shown + QStringLiteral("; to trust it, set ") +
            setting + QStringLiteral(" in the settings file"),
        kHostKeyUntrusted + kCrLf + QStringLiteral("サーバー: ") + m_hostPort + kCrLf + shown +
            kCrLf + QStringLiteral("信頼する場合は、設定ファイル ") + settingsFile +
            QStringLiteral(" に ") + setting + QStringLiteral(" を設定してください。"));
}

// The fingerprint of the key the known_hosts files hold for the server, one of the type given
// if there is one; "?" when none can be read.
QString SftpClient::KnownKey(const QString& type) const {
    const QByteArray host = m_knownHostsName.toUtf8();
    QString found = QStringLiteral("?");
    for (const QString& path : {KnownHostsPath(), QStringLiteral("/etc/ssh/ssh_known_hosts")}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine(64 * 1024).trimmed();
            ssh_knownhosts_entry* entry = nullptr;
            if (ssh_known_hosts_parse_line(host.constData(), line.constData(), &entry) == SSH_OK &&
                entry->publickey) {
                const bool sameType =
                    QLatin1String(ssh_key_type_to_char(ssh_key_type(entry->publickey))) == type;
                if (sameType || found == QLatin1String("?"))
                    found = HostKeyFingerprint::Text(DigestOf(entry->publickey));
                ssh_knownhosts_entry_free(entry);
                if (sameType)
                    return found;
            } else {
                ssh_knownhosts_entry_free(entry);
            }
        }
    }
    return found;
}

bool SftpClient::RefuseHostKey(const QString& reason, const QString& box) {
    m_faultReason = reason;
    m_host.Logging(QStringLiteral("HOST KEY REFUSED"));
    m_host.ShowSocketError(box);
    return false;
}

// The password when there is one, else the public keys. A refusal names what was tried.
bool SftpClient::Authenticate() {
    int rc = Await([this] { return ssh_userauth_none(m_session, nullptr); }, SSH_AUTH_AGAIN);
    if (rc == kStopped)
        return false;
    if (rc == SSH_AUTH_SUCCESS)
        return true;
    if (rc == SSH_AUTH_ERROR) {
        SshFault();
        return false;
    }
    const int methods = ssh_userauth_list(m_session, nullptr);
    QStringList tried;
    const bool accepted = udtProfile.Passwd.isEmpty() ? AuthenticateWithKeys(methods, &tried)
                                                      : AuthenticateWithPassword(methods, &tried);
    if (accepted || blnAbend)
        return accepted;
    const QString refusal =
        QStringLiteral("login refused for ") + udtProfile.Account + QStringLiteral("; tried ") +
        (tried.isEmpty() ? QStringLiteral("nothing") : tried.join(QStringLiteral(", "))) +
        QStringLiteral("; the server offers ") + MethodNames(methods);
    if (m_faulted)
        m_faultReason += QStringLiteral(" (") + refusal + u')';
    strLastReply = refusal;
    m_host.Logging(QStringLiteral("AUTH REFUSED"));
    return false;
}

bool SftpClient::AuthenticateWithPassword(int methods, QStringList* tried) {
    const QByteArray password = udtProfile.Passwd.toUtf8();
    if (methods & SSH_AUTH_METHOD_PASSWORD) {
        tried->append(QStringLiteral("password"));
        m_host.Logging(QStringLiteral("AUTH password ") + udtProfile.Account);
        return Await(
                   [&] { return ssh_userauth_password(m_session, nullptr, password.constData()); },
                   SSH_AUTH_AGAIN) == SSH_AUTH_SUCCESS;
    }
    if (!(methods & SSH_AUTH_METHOD_INTERACTIVE))
        return false;
    // Every question is answered with the password (a server asks "Password:" this way).
    tried->append(QStringLiteral("keyboard-interactive"));
    m_host.Logging(QStringLiteral("AUTH keyboard-interactive ") + udtProfile.Account);
    const auto ask = [this] {
        return Await([this] { return ssh_userauth_kbdint(m_session, nullptr, nullptr); },
                     SSH_AUTH_AGAIN);
    };
    int rc = ask();
    for (int round = 0; rc == SSH_AUTH_INFO && round < kPromptRounds; ++round) {
        for (int i = 0; i < ssh_userauth_kbdint_getnprompts(m_session); ++i)
            ssh_userauth_kbdint_setanswer(m_session, static_cast<unsigned int>(i),
                                          password.constData());
        rc = ask();
    }
    return rc == SSH_AUTH_SUCCESS;
}

bool SftpClient::AuthenticateWithKeys(int methods, QStringList* tried) {
    if (!(methods & SSH_AUTH_METHOD_PUBLICKEY))
        return false;
    if (qEnvironmentVariableIsSet("SSH_AUTH_SOCK")) {
        tried->append(QStringLiteral("agent"));
        m_host.Logging(QStringLiteral("AUTH publickey agent"));
        if (Await([this] { return ssh_userauth_agent(m_session, nullptr); }, SSH_AUTH_AGAIN) ==
            SSH_AUTH_SUCCESS)
            return true;
    }
    for (const char* file : kKeyFiles) {
        const QString path = QDir::homePath() + QStringLiteral("/.ssh/") + QLatin1String(file);
        if (m_faulted || blnAbend)
            return false;
        if (!QFileInfo(path).isFile())
            continue;
        tried->append(path);
        ssh_key key = nullptr;
        if (ssh_pki_import_privkey_file(QFile::encodeName(path).constData(), nullptr, nullptr,
                                        nullptr, &key) != SSH_OK) {
            tried->last() += QStringLiteral(" (needs a passphrase or cannot be read)");
            continue;
        }
        m_host.Logging(QStringLiteral("AUTH publickey ") + path);
        const int rc =
            Await([&] { return ssh_userauth_publickey(m_session, nullptr, key); }, SSH_AUTH_AGAIN);
        ssh_key_free(key);
        if (rc == SSH_AUTH_SUCCESS)
            return true;
    }
    return false;
}

// The channel, the subsystem and the protocol's version.
bool SftpClient::StartSftp() {
    m_channel = ssh_channel_new(m_session);
    int rc = m_channel ? Await([this] { return ssh_channel_open_session(m_channel); }, SSH_AGAIN)
                       : SSH_ERROR;
    if (rc == SSH_OK)
        rc = Await([this] { return ssh_channel_request_subsystem(m_channel, "sftp"); }, SSH_AGAIN);
    if (rc == kStopped)
        return false;
    if (rc != SSH_OK) {
        SshFault();
        return false;
    }
    m_versionSeen = false;
    Send(Sftp::FXP_INIT, 0).U32(3);
    if (!WaitForAnswers([this] { return m_versionSeen; }))
        return false;
    m_host.WriteLog(QStringLiteral("SUCCESS - FTP CONNECTION - ") + m_hostPort);
    return true;
}

// The goodbye goes as far as the socket takes it at once.
void SftpClient::FtpQuit() {
    if (m_channel && !m_faulted && m_waitDepth == 0) {
        m_host.Logging(QStringLiteral("DISCONNECT"));
        // It closes the socket: nothing may watch it any more.
        m_readable.reset();
        m_writable.reset();
        ssh_disconnect(m_session);
        m_fd = -1;
    }
    CloseSockets();
}

// Inside a wait (the program ends during one), the session is freed once the wait has returned.
void SftpClient::CloseSockets() {
    ShutDown();
    if (m_waitDepth > 0) {
        m_closeAfterWait = true;
        return;
    }
    FreeSession();
}

void SftpClient::ShutDown() {
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

// The socket is shut down first: nothing more goes out, and the session frees its channel and
// closes the socket, which it took over.
void SftpClient::FreeSession() {
    m_closeAfterWait = false;
    ShutDown();
    m_readable.reset();
    m_writable.reset();
    if (m_session)
        ssh_free(m_session);
    if (!m_sessionOwnsSocket && m_fd >= 0)
        ::close(m_fd);
    m_session = nullptr;
    m_channel = nullptr;
    m_sessionOwnsSocket = false;
    m_fd = -1;
    m_out.clear();
    m_outAt = 0;
    m_framer = Sftp::Framer();
    m_pending.clear();
}

// ---- waiting --------------------------------------------------------------------------------

bool SftpClient::Wait(const std::function<bool()>& done) {
    ++m_waitDepth;
    StartTimers();
    bool reached = false;
    for (;;) {
        if (!m_faulted && !blnAbend && !m_closeAfterWait && done()) {
            reached = true;
            break;
        }
        if (m_faulted || blnAbend || m_closeAfterWait)
            break;
        Arm();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    Disarm();
    StopTimers();
    --m_waitDepth;
    // Answers that come after a wait that gave up are no one's any more.
    m_pending.clear();
    if (m_closeAfterWait && m_waitDepth == 0)
        FreeSession();
    return reached;
}

int SftpClient::Await(const std::function<int()>& call, int again) {
    int rc = kStopped;
    const bool ended = Wait([&] {
        rc = call();
        return rc != again;
    });
    return ended ? rc : kStopped;
}

bool SftpClient::WaitForAnswers(const std::function<bool()>& done) {
    if (!m_channel) {
        m_pending.clear();
        return false;
    }
    return Wait([&] { return m_channel && Pump() && done(); });
}

// Requests out and answers in, as long as either moves; false after a fault.
// Receive comes last in each round: whatever libssh read from the socket meanwhile (writing, it
// reads too) must be taken, since no event of the socket will tell of it again.
bool SftpClient::Pump() {
    for (;;) {
        bool moved = Flush();
        SendHeld();
        moved = Receive() || moved;
        if (!moved || m_faulted)
            break;
    }
    return !m_faulted;
}

// libssh writes to the socket once per look at it: it is asked to look until the socket has
// taken everything or can take no more.
void SftpClient::SendHeld() {
    for (int round = 0; round < kFlushRounds && !m_faulted &&
                        (ssh_get_poll_flags(m_session) & SSH_WRITE_PENDING) &&
                        ssh_blocking_flush(m_session, 0) == SSH_AGAIN;
         ++round) {
    }
}

// The channel takes as much as its window allows; libssh sends it as the socket takes it.
bool SftpClient::Flush() {
    bool moved = false;
    while (m_outAt < m_out.size() && !m_faulted) {
        const int sent = ssh_channel_write(
            m_channel, m_out.constData() + m_outAt,
            static_cast<uint32_t>(qMin<qsizetype>(m_out.size() - m_outAt, kChannelRead)));
        if (sent == SSH_ERROR) {
            SshFault();
            return false;
        }
        if (sent == 0)
            break;
        m_outAt += sent;
        moved = true;
    }
    if (m_outAt == m_out.size()) {
        m_out.resize(0);  // keeps its room for the next requests
        m_outAt = 0;
    } else if (m_outAt > kWritesInFlight) {
        m_out.remove(0, m_outAt);
        m_outAt = 0;
    }
    return moved;
}

bool SftpClient::Receive() {
    bool moved = false;
    // What a server writes to stderr is read and dropped: it must not fill the window.
    while (!m_faulted && ssh_channel_read_nonblocking(m_channel, m_in.data(),
                                                      static_cast<uint32_t>(m_in.size()), 1) > 0) {
    }
    while (!m_faulted) {
        const int got = ssh_channel_read_nonblocking(m_channel, m_in.data(),
                                                     static_cast<uint32_t>(m_in.size()), 0);
        if (got == SSH_EOF) {
            Fault(ECONNRESET, QStringLiteral("the server ended the SFTP session"));
            break;
        }
        if (got < 0) {
            SshFault();
            return false;
        }
        if (got == 0)
            break;
        if (!m_framer.Feed(QByteArray::fromRawData(m_in.constData(), got))) {
            ProtocolError(QStringLiteral("a message longer than %1 bytes").arg(Sftp::kMaxMessage));
            return false;
        }
    }
    QByteArray message;
    while (!m_faulted && m_framer.Next(&message)) {
        Dispatch(message);
        moved = true;
    }
    return moved;
}

void SftpClient::Dispatch(const QByteArray& message) {
    Sftp::Reader fields(message);
    const quint8 type = fields.Type();
    if (type == Sftp::FXP_VERSION) {
        m_versionSeen = fields.U32() >= 3 || m_versionSeen;
        return;
    }
    const quint32 id = fields.U32();
    const auto pending = m_pending.find(id);
    if (fields.Bad() || pending == m_pending.end())
        return;
    const Handler handler = std::move(pending.value());
    m_pending.erase(pending);
    handler(type, fields);
    if (fields.Bad())
        ProtocolError(QStringLiteral("an answer shorter than its fields"));
}

// Readable always: the server's answers, or its end. Writable while the connection is being
// made, and while libssh holds bytes the socket did not take yet.
void SftpClient::Arm() {
    if (!m_readable)
        return;
    const bool send =
        m_connecting || (m_session && (ssh_get_poll_flags(m_session) & SSH_WRITE_PENDING));
    m_readable->setEnabled(!m_connecting);
    m_writable->setEnabled(send);
}

void SftpClient::Disarm() {
    if (!m_readable)
        return;
    m_readable->setEnabled(false);
    m_writable->setEnabled(false);
}

void SftpClient::Touch() {
    if (m_watchdog.isActive())
        m_watchdog.start();
}

void SftpClient::StartTimers() {
    if (m_waitDepth > 1)
        return;
    m_watchdog.start(Milliseconds(m_timeoutSec));
    m_deadline.start(Milliseconds(qint64{m_timeoutSec} * FtpLimits::kDeadlineFactor));
    m_progress = 0;
}

void SftpClient::StopTimers() {
    if (m_waitDepth > 1)
        return;
    m_watchdog.stop();
    m_deadline.stop();
}

// ---- requests -------------------------------------------------------------------------------

void SftpClient::Post(quint32 id, Handler handler) {
    m_pending.insert(id, std::move(handler));
}

bool SftpClient::Ask(quint32 id, const Handler& handler) {
    bool answered = false;
    Post(id, [&](quint8 type, Sftp::Reader& fields) {
        answered = true;
        handler(type, fields);
    });
    return WaitForAnswers([&] { return answered; });
}

bool SftpClient::StatusOk(quint8 type, Sftp::Reader& fields) {
    return Status(type, fields) == Sftp::FX_OK;
}

quint32 SftpClient::Status(quint8 type, Sftp::Reader& fields) {
    if (type != Sftp::FXP_STATUS) {
        ProtocolError(QStringLiteral("an answer of type %1 where a status belongs").arg(type));
        return Sftp::FX_FAILURE;
    }
    const quint32 code = fields.U32();
    if (code == Sftp::FX_OK || code == Sftp::FX_EOF)
        return code;
    const QString message =
        ServerText::Printable(CodePage::ToUnicode(fields.String()).simplified());
    const QString status = Sftp::StatusText(code);
    strLastReply = message.isEmpty() || message.compare(status, Qt::CaseInsensitive) == 0
                       ? status
                       : status + QStringLiteral(": ") + message;
    m_host.Logging(QStringLiteral("STATUS %1 ").arg(code) + strLastReply);
    return code;
}

bool SftpClient::Stat(const QString& path, Sftp::Attributes* attributes) {
    m_host.Logging(QStringLiteral("STAT ") + path);
    bool found = false;
    const quint32 id = NextId();
    Send(Sftp::FXP_STAT, id).String(RemoteBytes(path));
    return Ask(id,
               [&](quint8 type, Sftp::Reader& fields) {
                   if (type == Sftp::FXP_ATTRS) {
                       *attributes = fields.ReadAttributes();
                       found = true;
                   } else {
                       StatusOk(type, fields);
                   }
               }) &&
           found;
}

QByteArray SftpClient::RemoteBytes(const QString& path) const {
    return CodePage::FromUnicode(path);
}

bool SftpClient::FtpChangeDir(const QString& path) {
    Sftp::Attributes attributes;
    return Stat(path, &attributes) && (!attributes.hasPermissions || attributes.IsDirectory());
}

bool SftpClient::FtpExistFile(const QString& remotePath) {
    Sftp::Attributes attributes;
    return Stat(remotePath, &attributes);
}

bool SftpClient::FtpMakeDir(const QString& path) {
    m_host.Logging(QStringLiteral("MKDIR ") + path);
    bool made = false;
    const quint32 id = NextId();
    Send(Sftp::FXP_MKDIR, id).String(RemoteBytes(path)).NoAttributes();
    return Ask(id, [&](quint8 type, Sftp::Reader& fields) { made = StatusOk(type, fields); }) &&
           made;
}

bool SftpClient::FtpDeleteFile(const QString& path) {
    m_host.Logging(QStringLiteral("REMOVE ") + path);
    bool removed = false;
    const quint32 id = NextId();
    Send(Sftp::FXP_REMOVE, id).String(RemoteBytes(path));
    return Ask(id, [&](quint8 type, Sftp::Reader& fields) { removed = StatusOk(type, fields); }) &&
           removed;
}

bool SftpClient::FtpNoop() {
    m_host.Logging(QStringLiteral("REALPATH ."));
    bool named = false;
    const quint32 id = NextId();
    Send(Sftp::FXP_REALPATH, id).String(QByteArrayLiteral("."));
    return Ask(id,
               [&](quint8 type, Sftp::Reader& fields) {
                   named = type == Sftp::FXP_NAME || StatusOk(type, fields);
               }) &&
           named;
}

// ---- listings -------------------------------------------------------------------------------

bool SftpClient::ListRemoteDir(const QString& dir, RemoteListing* paths) {
    return ListTree(dir, false, paths);
}

// Each folder: OPENDIR, READDIR until the end, CLOSE (not waited for). Up to kFoldersInFlight
// folders go at once; the folders found are read as places come free. A folder below dir that
// cannot be read is passed over: its entries stay unknown. The caps of FTP listings hold: the
// bytes of the answers, the memory of the paths, and the time of one wait.
bool SftpClient::ListTree(const QString& dir, bool recursive, RemoteListing* paths) {
    std::deque<QString> waiting{dir};
    int open = 0;
    bool dirFailed = false;
    qint64 bytes = 0;
    RemoteListing entries;

    std::function<void()> next;
    std::function<void(const QString&, const QByteArray&)> readDir;
    // A folder is done: its handle is closed (the answer is not waited for), and the listing
    // fails when it is dir and could not be read to its end.
    const auto ended = [&](const QString& folder, const QByteArray& handle, bool read) {
        if (!handle.isEmpty())
            Send(Sftp::FXP_CLOSE, NextId()).String(handle);
        dirFailed = dirFailed || (folder == dir && !read);
        --open;
        next();
    };
    readDir = [&](const QString& folder, const QByteArray& handle) {
        const quint32 id = NextId();
        Send(Sftp::FXP_READDIR, id).String(handle);
        Post(id, [&, folder, handle](quint8 type, Sftp::Reader& fields) {
            if (type != Sftp::FXP_NAME)
                return ended(folder, handle, Status(type, fields) == Sftp::FX_EOF);
            bytes += fields.Size();
            for (quint32 count = fields.U32(); count > 0 && !fields.Bad(); --count) {
                const QByteArray name = fields.String();
                fields.String();  // the long form, as ls -l shows it
                const Sftp::Attributes attributes = fields.ReadAttributes();
                if (name == "." || name == ".." || fields.Bad())
                    continue;
                const QString path = Join(folder, CodePage::ToUnicode(name));
                entries.Add(path);
                if (recursive && attributes.IsDirectory())
                    waiting.push_back(path);
            }
            readDir(folder, handle);
        });
    };
    next = [&] {
        for (; open < kFoldersInFlight && !waiting.empty(); waiting.pop_front()) {
            const QString folder = waiting.front();
            m_host.Logging(QStringLiteral("READDIR ") + folder);
            ++open;
            const quint32 id = NextId();
            Send(Sftp::FXP_OPENDIR, id).String(RemoteBytes(folder));
            Post(id, [&, folder](quint8 type, Sftp::Reader& fields) {
                if (type == Sftp::FXP_HANDLE)
                    return readDir(folder, fields.String());
                Status(type, fields);
                ended(folder, QByteArray(), false);
            });
        }
    };
    next();
    const bool listed = WaitForAnswers([&] {
        const QString fault = RemoteListParser::LimitFault(entries);
        if (!fault.isEmpty())
            ProtocolError(fault);
        else if (bytes > FtpLimits::kMaxListingBytes)
            ProtocolError(
                QStringLiteral("a listing of more than %1 bytes").arg(FtpLimits::kMaxListingBytes));
        return !m_faulted && (dirFailed || (open == 0 && waiting.empty()));
    });
    if (!listed || dirFailed)
        return false;
    *paths = entries;
    return true;
}

// ---- upload ---------------------------------------------------------------------------------

bool SftpClient::FtpPutFile(const QString& localPath, const QString& remotePath) {
    m_putFailure.clear();
    m_putChanged = false;
    m_putDigest.clear();
    if (m_host.InvestigateMode()) {
        // Nothing goes, but the file is read for its digest, as over FTP.
        UploadSource source;
        if (source.Open(localPath) && source.ReadToEnd())
            m_putDigest = source.Digest();
        return true;
    }
    UploadSource source;
    if (!source.Open(localPath))
        return PutFailed(source.Error());
    m_uploadLocalPath = localPath;
    m_uploadSize = source.Size();
    m_host.UploadProgress(localPath, 0, m_uploadSize);
    const auto ended = qScopeGuard([this] { m_host.UploadEnded(); });
    QByteArray handle;
    if (!OpenRemote(remotePath, &handle))
        return PutFailed(TransferFailure());
    qint64 sent = 0;
    const bool written = WriteAll(source, handle, &sent);
    m_host.Logging(QStringLiteral("WRITE %1 bytes ").arg(sent) + remotePath);
    // The handle is closed in any case; only a close after every write went counts.
    const bool closed = !m_faulted && !blnAbend && CloseRemote(remotePath, handle);
    if (!written)
        return PutFailed(source.Error().isEmpty() ? TransferFailure() : source.Error(),
                         source.Changed());
    if (!closed)
        return PutFailed(TransferFailure());
    m_putDigest = source.Digest();
    if (blnQuitAfterFile)
        blnAbend = true;
    return true;
}

bool SftpClient::OpenRemote(const QString& remotePath, QByteArray* handle) {
    m_host.Logging(QStringLiteral("OPEN ") + remotePath);
    const quint32 id = NextId();
    Send(Sftp::FXP_OPEN, id)
        .String(RemoteBytes(remotePath))
        .U32(Sftp::FXF_WRITE | Sftp::FXF_CREAT | Sftp::FXF_TRUNC)
        .NoAttributes();
    return Ask(id,
               [&](quint8 type, Sftp::Reader& fields) {
                   if (type == Sftp::FXP_HANDLE)
                       *handle = fields.String();
                   else
                       StatusOk(type, fields);
               }) &&
           !handle->isEmpty();
}

// Keeps up to kWritesInFlight bytes of the file on their way, each block read when there is
// room for it; true once every byte was acknowledged and the file did not change meanwhile.
bool SftpClient::WriteAll(UploadSource& source, const QByteArray& handle, qint64* sent) {
    QByteArray block(kWriteBlock, Qt::Uninitialized);
    qint64 inFlight = 0;
    bool ended = false;
    bool failed = false;
    std::function<void()> fill = [&] {
        while (!ended && !failed && inFlight < kWritesInFlight) {
            qint64 got = source.Read(block.data(), kWriteBlock);
            if (got == 0 && !source.Unchanged())
                got = -1;
            if (got < 0) {
                failed = true;
                return;
            }
            if (got == 0) {
                ended = true;
                return;
            }
            const quint32 id = NextId();
            Send(Sftp::FXP_WRITE, id)
                .String(handle)
                .U64(static_cast<quint64>(*sent))
                .String(block.constData(), got);
            Post(id, [&, got](quint8 type, Sftp::Reader& fields) {
                if (!StatusOk(type, fields)) {
                    failed = true;
                    return;
                }
                inFlight -= got;
                m_host.UploadProgress(m_uploadLocalPath, *sent - inFlight, m_uploadSize);
                m_progress += got;
                if (m_progress >= FtpLimits::kStoreProgress) {
                    m_progress = 0;
                    m_deadline.start();
                }
                fill();
            });
            inFlight += got;
            *sent += got;
        }
    };
    fill();
    return WaitForAnswers([&] { return failed || (ended && inFlight == 0); }) && !failed;
}

bool SftpClient::CloseRemote(const QString& remotePath, const QByteArray& handle) {
    m_host.Logging(QStringLiteral("CLOSE ") + remotePath);
    bool closed = false;
    const quint32 id = NextId();
    Send(Sftp::FXP_CLOSE, id).String(handle);
    return Ask(id, [&](quint8 type, Sftp::Reader& fields) { closed = StatusOk(type, fields); }) &&
           closed;
}

bool SftpClient::PutFailed(const QString& reason, bool changed) {
    m_putFailure = reason;
    m_putChanged = changed;
    return false;
}

QString SftpClient::TransferFailure() const {
    if (!m_faultReason.isEmpty())
        return m_faultReason;
    if (blnAbend)
        return QStringLiteral("stopped");
    return strLastReply.isEmpty() ? QStringLiteral("the transfer did not complete") : strLastReply;
}

// ---- faults ---------------------------------------------------------------------------------

void SftpClient::Fault(int number, const QString& description) {
    if (m_faulted)
        return;
    m_faulted = true;
    blnAbend = true;
    if (m_faultReason.isEmpty())
        m_faultReason = description;
    ShutDown();
    Disarm();
    m_host.ShowSocketError(kSshFailure + QStringLiteral("\r\n[") + QString::number(number) +
                           QStringLiteral("]") + description);
}

void SftpClient::SshFault() {
    const char* words = m_session ? ssh_get_error(m_session) : nullptr;
    Fault(EPROTO, QStringLiteral("SSH error: ") +
                      ServerText::Printable(QString::fromUtf8(words ? words : "unknown")));
}

void SftpClient::ProtocolError(const QString& what) {
    Fault(EPROTO, QStringLiteral("Protocol error: the server sent ") + what);
}
