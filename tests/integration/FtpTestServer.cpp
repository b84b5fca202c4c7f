#include "FtpTestServer.h"

#include <arpa/inet.h>
#include <crypt.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMessageAuthenticationCode>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <optional>

namespace {

// The system account every server stores files as, and the password of every test login.
// tools/fetch-test-servers.sh makes the account, its password and vsftpd's PAM service.
constexpr char kAccount[] = "skerrowftp";
constexpr char kPassword[] = "Skerrow-Test-FTP";
constexpr char kPamService[] = "skerrowex-test-ftp";
// A free port can be taken by someone else before the server binds it.
constexpr int kStartAttempts = 5;
constexpr int kServeTimeoutMs = 20000;
constexpr int kStopTimeoutMs = 5000;

struct Account {
    uid_t uid;
    gid_t gid;
};

std::optional<Account> TestAccount() {
    const passwd* entry = getpwnam(kAccount);
    if (entry == nullptr) {
        return std::nullopt;
    }
    return Account{entry->pw_uid, entry->pw_gid};
}

QString ServersDir() {
    return QStringLiteral(SKERROW_TEST_SERVERS_DIR);
}

QString Unpacked(const QString& path) {
    return ServersDir() + QStringLiteral("/root") + path;
}

// The folders of the unpacked tree that hold the libraries pure-ftpd and proftpd need.
QString UnpackedLibraryPath() {
    QFile list(ServersDir() + QStringLiteral("/libpath"));
    QStringList folders;
    if (list.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : list.readAll().split('\n')) {
            if (!line.trimmed().isEmpty()) {
                folders << ServersDir() + QLatin1Char('/') + QString::fromLocal8Bit(line.trimmed());
            }
        }
    }
    return folders.join(QLatin1Char(':'));
}

QString PythonPath() {
    return QStringLiteral("/usr/bin/python3");
}

QStringList ProgramsOf(FtpServerKind kind) {
    switch (kind) {
        case FtpServerKind::VsftpdRecursive:
        case FtpServerKind::Vsftpd:
            return {QStringLiteral("/usr/sbin/vsftpd")};
        case FtpServerKind::PureFtpd:
            return {Unpacked(QStringLiteral("/usr/sbin/pure-ftpd")),
                    Unpacked(QStringLiteral("/usr/bin/pure-pw"))};
        case FtpServerKind::ProFtpd:
            return {Unpacked(QStringLiteral("/usr/sbin/proftpd"))};
        case FtpServerKind::PyFtpdLib:
            return {PythonPath()};
        case FtpServerKind::Sshd:
            return {Unpacked(QStringLiteral("/usr/sbin/sshd")),
                    QStringLiteral("/usr/bin/ssh-keygen")};
    }
    return {};
}

bool UsesUnpackedTree(FtpServerKind kind) {
    return kind == FtpServerKind::PureFtpd || kind == FtpServerKind::ProFtpd ||
           kind == FtpServerKind::Sshd;
}

QProcessEnvironment ServerEnvironment(FtpServerKind kind) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (UsesUnpackedTree(kind)) {
        env.insert(QStringLiteral("LD_LIBRARY_PATH"), UnpackedLibraryPath());
    }
    return env;
}

// Runs a helper program to its end (bounded); false with its output when it fails.
bool RunTool(const QString& program, const QStringList& arguments, const QByteArray& input,
             const QProcessEnvironment& env, QString* whyNot) {
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForStarted(kStopTimeoutMs)) {
        *whyNot = program + QStringLiteral(" does not start: ") + tool.errorString();
        return false;
    }
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(kServeTimeoutMs) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        *whyNot = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) +
                  QStringLiteral(" failed: ") + QString::fromLocal8Bit(tool.readAll());
        tool.kill();
        tool.waitForFinished(kStopTimeoutMs);
        return false;
    }
    return true;
}

bool WriteFile(const QString& path, const QByteArray& content, QString* whyNot) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size()) {
        *whyNot =
            QStringLiteral("cannot write ") + path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

// A port that nobody listens on at this moment.
// The lowest port the kernel hands out to outgoing and active-mode data connections.
quint16 EphemeralRangeStart() {
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (!range.open(QIODevice::ReadOnly))
        return 32768;
    const int first = QString::fromLatin1(range.readAll()).split(u'\t').value(0).toInt();
    return first > 2048 ? static_cast<quint16>(first) : 32768;
}

bool CanBindLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

// A free port below the ephemeral range: a port the kernel picked would soon be taken again by
// one of the many data connections of a busy machine, before the server binds it.
quint16 FreeLoopbackPort() {
    const quint16 top = EphemeralRangeStart();
    const quint16 bottom = top > 12000 ? 10000 : 1024;
    for (int tries = 0; tries < 200; ++tries) {
        const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(bottom, top));
        if (CanBindLoopback(port))
            return port;
    }
    return 0;
}

// True when a server answers on the port with a complete 220 reply (or an SSH version line) that
// carries the banner token before the deadline. The token tells our server from another one that
// took the port first.
bool Greets(quint16 port, const QByteArray& token, const QDeadlineTimer& deadline) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    QByteArray received;
    bool greeted = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        while (!greeted && !deadline.hasExpired()) {
            pollfd waiting{fd, POLLIN, 0};
            if (::poll(&waiting, 1, static_cast<int>(deadline.remainingTime())) <= 0) {
                break;
            }
            char buffer[512];
            const ssize_t count = ::recv(fd, buffer, sizeof(buffer), 0);
            if (count <= 0) {
                break;
            }
            received.append(buffer, count);
            greeted = received.startsWith("220 ") || received.contains("\n220 ") ||
                      received.startsWith("SSH-2.0-");
            greeted = greeted && received.endsWith('\n') && received.contains(token);
        }
    }
    ::close(fd);
    return greeted;
}

// The processes below a process, each with its start time so that a reused id is never signalled.
struct ProcessId {
    pid_t pid;
    QByteArray startTime;
};

// Fields 4 (parent) and 22 (start time) of /proc/PID/stat; the name in field 2 may hold blanks.
bool ReadStat(pid_t pid, pid_t* parent, QByteArray* startTime) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20) {
        return false;
    }
    *parent = fields[1].toInt();
    *startTime = fields[19];
    return true;
}

QList<ProcessId> Descendants(pid_t root) {
    QList<ProcessId> all;
    QMultiHash<pid_t, ProcessId> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isNumber = false;
        const pid_t pid = entry.toInt(&isNumber);
        pid_t parent = 0;
        QByteArray startTime;
        if (isNumber && ReadStat(pid, &parent, &startTime)) {
            children.insert(parent, ProcessId{pid, startTime});
        }
    }
    QList<pid_t> open{root};
    while (!open.isEmpty()) {
        const pid_t pid = open.takeFirst();
        for (const ProcessId& child : children.values(pid)) {
            all << child;
            open << child.pid;
        }
    }
    return all;
}

void Signal(const QList<ProcessId>& processes, int signalNumber) {
    for (const ProcessId& process : processes) {
        pid_t parent = 0;
        QByteArray startTime;
        if (ReadStat(process.pid, &parent, &startTime) && startTime == process.startTime) {
            ::kill(process.pid, signalNumber);
        }
    }
}

// A self-signed certificate for 127.0.0.1, made once per test process with openssl, in a folder
// every server account can read.
struct Certificate {
    QString certFile;
    QString keyFile;
    QString error;
};

const Certificate& TestCertificate() {
    static QTemporaryDir dir;
    static const Certificate made = [] {
        Certificate c;
        c.certFile = dir.filePath(QStringLiteral("cert.pem"));
        c.keyFile = dir.filePath(QStringLiteral("key.pem"));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther |
                                              QFile::ReadGroup | QFile::ExeGroup);
        QString why;
        if (!RunTool(QStringLiteral("openssl"),
                     {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                      QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                      QStringLiteral("3"), QStringLiteral("-subj"),
                      QStringLiteral("/CN=127.0.0.1/O=SkerrowEx tests"), QStringLiteral("-addext"),
                      QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                      c.keyFile, QStringLiteral("-out"), c.certFile},
                     {}, QProcessEnvironment::systemEnvironment(), &why)) {
            c.error = why;
            return c;
        }
        // pyftpdlib reads them as the test account.
        for (const QString& file : {c.certFile, c.keyFile})
            QFile::setPermissions(
                file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        return c;
    }();
    return made;
}

QByteArray VsftpdConfig(bool recursive, quint16 port, const QString& root, const QString& work,
                        const QString& banner) {
    QByteArray config;
    const auto line = [&config](const QString& text) { config += text.toLocal8Bit() + '\n'; };
    line(QStringLiteral("listen=YES"));
    line(QStringLiteral("listen_ipv6=NO"));
    line(QStringLiteral("listen_address=127.0.0.1"));
    line(QStringLiteral("listen_port=%1").arg(port));
    line(QStringLiteral("background=NO"));
    line(QStringLiteral("ftpd_banner=") + banner);
    line(QStringLiteral("anonymous_enable=NO"));
    line(QStringLiteral("local_enable=YES"));
    line(QStringLiteral("write_enable=YES"));
    line(QStringLiteral("local_umask=022"));
    // vsftpd enters the account's home, then local_root, and makes that "/".
    line(QStringLiteral("chroot_local_user=YES"));
    line(QStringLiteral("allow_writeable_chroot=YES"));
    line(QStringLiteral("local_root=") + root);
    line(QStringLiteral("port_enable=YES"));
    line(QStringLiteral("connect_from_port_20=NO"));
    line(QStringLiteral("pam_service_name=") + QLatin1String(kPamService));
    line(QStringLiteral("userlist_enable=NO"));
    line(QStringLiteral("secure_chroot_dir=") + work + QStringLiteral("/empty"));
    line(QStringLiteral("seccomp_sandbox=NO"));
    line(QStringLiteral("ls_recurse_enable=") + (recursive ? "YES" : "NO"));
    // The protocol log shows exactly what our client sent when a test fails.
    line(QStringLiteral("xferlog_enable=YES"));
    line(QStringLiteral("log_ftp_protocol=YES"));
    line(QStringLiteral("vsftpd_log_file=") + work + QStringLiteral("/vsftpd.log"));
    return config;
}

// Explicit TLS with vsftpd's own defaults otherwise: logins and data must be encrypted, and a data
// connection must resume the control connection's session (require_ssl_reuse).
QByteArray VsftpdTls() {
    return "ssl_enable=YES\nrsa_cert_file=" + QFile::encodeName(TestCertificate().certFile) +
           "\nrsa_private_key_file=" + QFile::encodeName(TestCertificate().keyFile) + '\n';
}

QByteArray ProftpdTls() {
    QByteArray config;
    const auto line = [&config](const QString& text) { config += text.toLocal8Bit() + '\n'; };
    line(QStringLiteral("ModulePath ") + Unpacked(QStringLiteral("/usr/lib/proftpd")));
    line(QStringLiteral("LoadModule mod_tls.c"));
    line(QStringLiteral("TLSEngine on"));
    line(QStringLiteral("TLSRequired on"));
    line(QStringLiteral("TLSProtocol TLSv1.2 TLSv1.3"));
    line(QStringLiteral("TLSRSACertificateFile ") + TestCertificate().certFile);
    line(QStringLiteral("TLSRSACertificateKeyFile ") + TestCertificate().keyFile);
    line(QStringLiteral("TLSVerifyClient off"));
    return config;
}

QByteArray ProftpdConfig(quint16 port, const QString& work, const QString& banner, bool overwrite) {
    QByteArray config;
    const auto line = [&config](const QString& text) { config += text.toLocal8Bit() + '\n'; };
    line(QStringLiteral("ServerType standalone"));
    line(QStringLiteral("ServerName \"") + banner + QLatin1Char('"'));
    line(QStringLiteral("DefaultAddress 127.0.0.1"));
    line(QStringLiteral("SocketBindTight on"));
    line(QStringLiteral("UseIPv6 off"));
    line(QStringLiteral("Port %1").arg(port));
    line(QStringLiteral("User ") + QLatin1String(kAccount));
    line(QStringLiteral("Group ") + QLatin1String(kAccount));
    line(QStringLiteral("PidFile ") + work + QStringLiteral("/proftpd.pid"));
    line(QStringLiteral("ScoreboardFile ") + work + QStringLiteral("/proftpd.scoreboard"));
    line(QStringLiteral("DelayTable none"));
    line(QStringLiteral("WtmpLog off"));
    line(QStringLiteral("UseReverseDNS off"));
    line(QStringLiteral("AuthOrder mod_auth_file.c"));
    line(QStringLiteral("AuthUserFile ") + work + QStringLiteral("/passwd"));
    line(QStringLiteral("RequireValidShell off"));
    line(QStringLiteral("DefaultRoot ~"));
    line(QStringLiteral("AllowOverwrite ") + (overwrite ? "on" : "off"));
    line(QStringLiteral("Umask 022"));
    line(QStringLiteral("SystemLog ") + work + QStringLiteral("/proftpd.log"));
    line(QStringLiteral("TransferLog none"));
    return config;
}

// pyftpdlib's own example server, with the one test account; with a certificate, its TLS handler
// requiring TLS for the login and the data.
constexpr char kPyFtpdLibScript[] = R"(import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler, TLS_FTPHandler
from pyftpdlib.ioloop import timer
from pyftpdlib.servers import FTPServer

port, user, password, root, banner = int(sys.argv[1]), *sys.argv[2:6]
logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = FTPHandler
if len(sys.argv) > 7:
    handler = TLS_FTPHandler
    handler.certfile, handler.keyfile = sys.argv[6:8]
    handler.tls_control_required = True
    handler.tls_data_required = True
handler.authorizer = authorizer
handler.banner = banner
# Throttled from the first byte on: pyftpdlib's own lets the first second through.
class SlowDTPHandler(ThrottledDTPHandler):
    read_limit = int(os.environ.get("SKERROW_UPLOAD_RATE", "0"))
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self._timenext = timer() + 1
if SlowDTPHandler.read_limit:
    handler.dtp_handler = SlowDTPHandler
FTPServer(("127.0.0.1", port), handler).serve_forever()
)";

// An ed25519 key pair made with ssh-keygen in the folder: false with the reason when it fails.
bool MakeKey(const QString& file, QString* whyNot) {
    return RunTool(QStringLiteral("/usr/bin/ssh-keygen"),
                   {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                    QStringLiteral("-N"), QString(), QStringLiteral("-C"),
                    QStringLiteral("SkerrowEx test"), QStringLiteral("-f"), file},
                   {}, QProcessEnvironment::systemEnvironment(), whyNot);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The client key every sshd of this process authorises, made once in a folder of its own.
struct UserKey {
    QString file;
    QString error;
};

const UserKey& TestUserKey() {
    static QTemporaryDir dir;
    static const UserKey made = [] {
        UserKey key{dir.filePath(QStringLiteral("id_ed25519")), QString()};
        if (!MakeKey(key.file, &key.error))
            key.file.clear();
        return key;
    }();
    return made;
}

// sshd with password and key logins for the test account only, OpenSSH's own SFTP, no PAM (the
// password is checked against the system's shadow file) and no check of the key file's owner.
QByteArray SshdConfig(quint16 port, const QString& work, const QString& banner) {
    QByteArray config;
    const auto line = [&config](const QString& text) { config += text.toLocal8Bit() + '\n'; };
    line(QStringLiteral("ListenAddress 127.0.0.1"));
    line(QStringLiteral("Port %1").arg(port));
    line(QStringLiteral("HostKey ") + work + QStringLiteral("/ssh_host_ed25519_key"));
    line(QStringLiteral("PidFile ") + work + QStringLiteral("/sshd.pid"));
    line(QStringLiteral("AuthorizedKeysFile ") + work + QStringLiteral("/authorized_keys"));
    line(QStringLiteral("StrictModes no"));
    line(QStringLiteral("UsePAM no"));
    line(QStringLiteral("PasswordAuthentication yes"));
    line(QStringLiteral("KbdInteractiveAuthentication no"));
    line(QStringLiteral("PubkeyAuthentication yes"));
    line(QStringLiteral("PermitRootLogin no"));
    line(QStringLiteral("AllowUsers ") + QLatin1String(kAccount));
    line(QStringLiteral("Subsystem sftp internal-sftp"));
    line(QStringLiteral("MaxStartups 64"));
    line(QStringLiteral("VersionAddendum ") + banner);
    line(QStringLiteral("LogLevel VERBOSE"));
    return config;
}

// A passwd-style line for the test login with a crypt() hash of its password: name, hash, uid, gid,
// an empty comment and the home folder, then what follows in the server's format. Empty when the
// account is missing or crypt() fails.
QByteArray UserLine(const QString& home, const char* rest) {
    const std::optional<Account> account = TestAccount();
    const char* hash = ::crypt(kPassword, "$6$skerrowtest$");
    if (!account || hash == nullptr || hash[0] != '$') {
        return {};
    }
    return QByteArray(kAccount) + ':' + hash + ':' + QByteArray::number(account->uid) + ':' +
           QByteArray::number(account->gid) + "::" + QFile::encodeName(home) + rest;
}

// What tools/fetch-test-servers.sh sets up as root beside the programs.
bool SystemPrepared(FtpServerKind kind, QString* whyNot) {
    const QString remedy = QStringLiteral(" is missing: run tools/install-deps.sh --test as root");
    if (!TestAccount()) {
        *whyNot = QStringLiteral("the test account ") + QLatin1String(kAccount) + remedy;
        return false;
    }
    const bool vsftpd = kind == FtpServerKind::VsftpdRecursive || kind == FtpServerKind::Vsftpd;
    if (vsftpd && !QFileInfo::exists(QStringLiteral("/etc/pam.d/") + QLatin1String(kPamService))) {
        *whyNot = QStringLiteral("vsftpd's PAM service ") + QLatin1String(kPamService) + remedy;
        return false;
    }
    if (kind == FtpServerKind::Sshd) {
        if (getpwnam("sshd") == nullptr) {
            *whyNot = QStringLiteral("sshd's privilege separation account sshd") + remedy;
            return false;
        }
        // Its empty folder; /run is emptied at every boot.
        ::mkdir("/run/sshd", 0755);
        if (!TestUserKey().error.isEmpty()) {
            *whyNot = QStringLiteral("no test key: ") + TestUserKey().error;
            return false;
        }
    }
    return true;
}

}  // namespace

QList<FtpServerKind> FtpTestServer::AllKinds() {
    return {FtpServerKind::VsftpdRecursive, FtpServerKind::Vsftpd, FtpServerKind::PureFtpd,
            FtpServerKind::ProFtpd, FtpServerKind::PyFtpdLib};
}

QString FtpTestServer::KindName(FtpServerKind kind) {
    switch (kind) {
        case FtpServerKind::VsftpdRecursive:
            return QStringLiteral("VsftpdRecursive");
        case FtpServerKind::Vsftpd:
            return QStringLiteral("Vsftpd");
        case FtpServerKind::PureFtpd:
            return QStringLiteral("PureFtpd");
        case FtpServerKind::ProFtpd:
            return QStringLiteral("ProFtpd");
        case FtpServerKind::PyFtpdLib:
            return QStringLiteral("PyFtpdLib");
        case FtpServerKind::Sshd:
            return QStringLiteral("Sshd");
    }
    return {};
}

bool FtpTestServer::Installed(FtpServerKind kind, QString* whyNot) {
    for (const QString& program : ProgramsOf(kind)) {
        if (!QFileInfo(program).isExecutable()) {
            *whyNot = KindName(kind) + QStringLiteral(": ") + program +
                      QStringLiteral(" is not installed (tools/install-deps.sh --test)");
            return false;
        }
    }
    if (kind == FtpServerKind::PyFtpdLib &&
        !RunTool(PythonPath(), {QStringLiteral("-c"), QStringLiteral("import pyftpdlib")}, {},
                 QProcessEnvironment::systemEnvironment(), whyNot)) {
        *whyNot = QStringLiteral("PyFtpdLib: python3-pyftpdlib is not installed (") + *whyNot +
                  QLatin1Char(')');
        return false;
    }
    return true;
}

FtpTestServer::~FtpTestServer() {
    Stop();
}

bool FtpTestServer::Start(FtpServerKind kind, QString* whyNot, const FtpServerSetup& setup) {
    Stop();
    kind_ = kind;
    setup_ = setup;
    if (!Installed(kind, whyNot) || !SystemPrepared(kind, whyNot)) {
        return false;
    }
    if (setup.tls && !TestCertificate().error.isEmpty()) {
        *whyNot = QStringLiteral("no test certificate: ") + TestCertificate().error;
        return false;
    }
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (!MakeFolders(whyNot)) {
            Stop();
            return false;
        }
        port_ = FreeLoopbackPort();
        if (StartOnPort(whyNot)) {
            return true;
        }
        Stop();
    }
    return false;
}

bool FtpTestServer::MakeFolders(QString* whyNot) {
    work_ = std::make_unique<QTemporaryDir>();
    root_ = std::make_unique<QTemporaryDir>();
    const std::optional<Account> account = TestAccount();
    if (!account || !work_->isValid() || !root_->isValid() ||
        ::chown(QFile::encodeName(root_->path()).constData(), account->uid, account->gid) != 0) {
        *whyNot = QStringLiteral("cannot make the temporary folders");
        return false;
    }
    // pyftpdlib runs as the account and reads its script from here.
    return QFile::setPermissions(
        work_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

bool FtpTestServer::StartOnPort(QString* whyNot) {
    QStringList arguments;
    if (port_ == 0 || !WriteConfig(&arguments, whyNot)) {
        return false;
    }
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = ServerEnvironment(kind_);
    if (setup_.uploadRate > 0)
        environment.insert(QStringLiteral("SKERROW_UPLOAD_RATE"),
                           QString::number(setup_.uploadRate));
    process_->setProcessEnvironment(environment);
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setStandardOutputFile(work_->filePath(QStringLiteral("server.out")));
    process_->setStandardInputFile(QProcess::nullDevice());
    if (kind_ == FtpServerKind::PyFtpdLib) {
        const Account account = *TestAccount();
        process_->setChildProcessModifier([account] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 ||
                ::setuid(account.uid) != 0) {
                ::_exit(126);
            }
        });
    }
    process_->start(ProgramsOf(kind_).constFirst(), arguments);
    if (!process_->waitForStarted(kStopTimeoutMs)) {
        *whyNot = KindName(kind_) + QStringLiteral(" does not start: ") + process_->errorString();
        return false;
    }
    return WaitUntilServing(whyNot);
}

bool FtpTestServer::WriteConfig(QStringList* arguments, QString* whyNot) {
    const QString work = work_->path();
    const QString root = root_->path();
    const QString port = QString::number(port_);
    switch (kind_) {
        case FtpServerKind::VsftpdRecursive:
        case FtpServerKind::Vsftpd: {
            const QString config = work_->filePath(QStringLiteral("vsftpd.conf"));
            *arguments = {config};
            QByteArray text =
                VsftpdConfig(kind_ == FtpServerKind::VsftpdRecursive, port_, root, work, Banner());
            if (setup_.tls)
                text += VsftpdTls();
            if (!setup_.activeMode)
                text.replace("port_enable=YES", "port_enable=NO");
            if (setup_.maxPerHost > 0)
                text += "max_per_ip=" + QByteArray::number(setup_.maxPerHost) + '\n';
            if (setup_.uploadRate > 0)
                text += "local_max_rate=" + QByteArray::number(setup_.uploadRate) + '\n';
            return QDir(work).mkdir(QStringLiteral("empty")) && WriteFile(config, text, whyNot);
        }
        case FtpServerKind::PureFtpd: {
            // The user file carries a crypt() hash: pure-pw's own argon2 hash costs a second of
            // CPU at every login.
            const QString users = work_->filePath(QStringLiteral("pureftpd.passwd"));
            const QString database = work_->filePath(QStringLiteral("pureftpd.pdb"));
            const QString banner = work_->filePath(QStringLiteral("banner"));  // a fortune file
            *arguments = {QStringLiteral("-S"),
                          QStringLiteral("127.0.0.1,") + port,
                          QStringLiteral("-l"),
                          QStringLiteral("puredb:") + database,
                          QStringLiteral("-E"),
                          QStringLiteral("-A"),
                          QStringLiteral("-H"),
                          QStringLiteral("-F"),
                          banner};
            if (setup_.tls)
                *arguments << QStringLiteral("-Y") << QStringLiteral("3") << QStringLiteral("-2")
                           << TestCertificate().certFile + u',' + TestCertificate().keyFile;
            // In KB/s, both ways.
            if (setup_.uploadRate > 0)
                *arguments << QStringLiteral("-T")
                           << QString::number(qMax<qint64>(1, setup_.uploadRate / 1024));
            // The home's "/./" marks the chroot; twelve fields (limits, quotas) follow, empty.
            const QByteArray entry = UserLine(root + QStringLiteral("/./"), "::::::::::::\n");
            return !entry.isEmpty() && WriteFile(users, entry, whyNot) &&
                   WriteFile(banner, Banner().toUtf8() + '\n', whyNot) &&
                   RunTool(ProgramsOf(kind_).at(1),
                           {QStringLiteral("mkdb"), database, QStringLiteral("-f"), users}, {},
                           ServerEnvironment(kind_), whyNot);
        }
        case FtpServerKind::ProFtpd: {
            const QByteArray entry = UserLine(root, ":/usr/sbin/nologin\n");
            const QString config = work_->filePath(QStringLiteral("proftpd.conf"));
            *arguments = {QStringLiteral("-n"), QStringLiteral("-c"), config};
            // proftpd refuses a user file that others may read.
            const QString users = work_->filePath(QStringLiteral("passwd"));
            return !entry.isEmpty() && WriteFile(users, entry, whyNot) &&
                   QFile::setPermissions(users, QFile::ReadOwner | QFile::WriteOwner) &&
                   WriteFile(config,
                             ProftpdConfig(port_, work, Banner(), setup_.overwrite) +
                                 (setup_.tls ? ProftpdTls() : QByteArray()) +
                                 (setup_.uploadRate > 0
                                      ? "TransferRate STOR " +
                                            QByteArray::number(setup_.uploadRate / 1024.0) + '\n'
                                      : QByteArray()),
                             whyNot);
        }
        case FtpServerKind::PyFtpdLib: {
            const QString script = work_->filePath(QStringLiteral("server.py"));
            *arguments = {script, port, User(), Password(), root, Banner()};
            if (setup_.tls)
                *arguments << TestCertificate().certFile << TestCertificate().keyFile;
            return WriteFile(script, kPyFtpdLibScript, whyNot);
        }
        case FtpServerKind::Sshd: {
            const QString config = work_->filePath(QStringLiteral("sshd_config"));
            // sshd must be started by its absolute path; -e: its log goes to server.out.
            *arguments = {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config};
            return !TestUserKey().file.isEmpty() &&
                   MakeKey(work_->filePath(QStringLiteral("ssh_host_ed25519_key")), whyNot) &&
                   WriteFile(work_->filePath(QStringLiteral("authorized_keys")),
                             ReadAll(TestUserKey().file + QStringLiteral(".pub")), whyNot) &&
                   WriteFile(config, SshdConfig(port_, work, Banner()), whyNot);
        }
    }
    return false;
}

bool FtpTestServer::WaitUntilServing(QString* whyNot) {
    const QDeadlineTimer deadline(kServeTimeoutMs);
    while (!deadline.hasExpired()) {
        if (process_->state() != QProcess::Running) {
            *whyNot = KindName(kind_) + QStringLiteral(" ended at start: ") + Diagnostics();
            return false;
        }
        if (Greets(port_, Banner().toUtf8(), deadline)) {
            return true;
        }
        process_->waitForFinished(100);  // a short pause that also notices an early end
    }
    *whyNot = KindName(kind_) + QStringLiteral(" does not answer on port %1: ").arg(port_) +
              Diagnostics();
    return false;
}

QString FtpTestServer::Diagnostics() {
    QString text;
    for (const QString& name : {QStringLiteral("server.out"), QStringLiteral("proftpd.log"),
                                QStringLiteral("vsftpd.log")}) {
        QFile log(work_->filePath(name));
        if (log.open(QIODevice::ReadOnly)) {
            text += QString::fromLocal8Bit(log.readAll().right(2000));
        }
    }
    return text;
}

QString FtpTestServer::Banner() const {
    return QStringLiteral("SkerrowEx test ") + QFileInfo(work_->path()).fileName();
}

QString FtpTestServer::User() const {
    return QLatin1String(kAccount);
}

QString FtpTestServer::Password() const {
    return QLatin1String(kPassword);
}

QString FtpTestServer::RootDir() const {
    return root_ ? root_->path() : QString();
}

QList<qint64> FtpTestServer::SessionProcesses() const {
    const std::optional<Account> account = TestAccount();
    if (!process_ || !account)
        return {};
    // Parent and owner of every process, from /proc.
    QMap<qint64, QPair<qint64, uint>> processes;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile status(QStringLiteral("/proc/%1/status").arg(entry));
        if (!number || !status.open(QIODevice::ReadOnly))
            continue;
        qint64 parent = 0;
        uint uid = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:"))
                parent = line.mid(5).trimmed().toLongLong();
            else if (line.startsWith("Uid:"))
                uid = line.mid(4).simplified().split(' ').value(0).toUInt();
        }
        processes.insert(pid, {parent, uid});
    }
    QList<qint64> sessions;
    for (auto it = processes.cbegin(); it != processes.cend(); ++it) {
        qint64 above = it.value().first;
        while (above > 1 && above != process_->processId())
            above = processes.value(above).first;
        if (above == process_->processId() && it.value().second == account->uid)
            sessions.append(it.key());
    }
    return sessions;
}

QString FtpTestServer::FtpDir(const QString& remoteBase) const {
    if (kind_ == FtpServerKind::Sshd)
        return QStringLiteral("sftp://") + Host() + QLatin1Char(':') + QString::number(port_) +
               RootDir() + remoteBase;
    return Host() + QLatin1Char(':') + QString::number(port_) + remoteBase;
}

QString FtpTestServer::HostKeyFingerprint() const {
    const QList<QByteArray> fields =
        ReadAll(work_->filePath(QStringLiteral("ssh_host_ed25519_key.pub"))).split(' ');
    if (fields.size() < 2)
        return QString();
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(QCryptographicHash::hash(QByteArray::fromBase64(fields[1]),
                                                        QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::OmitTrailingEquals));
}

// OpenSSH hashes a host name as HMAC-SHA1 keyed with a random salt: "|1|salt|hash".
QString FtpTestServer::KnownHostsLine(bool hashed) const {
    QByteArray host = "[" + Host().toLatin1() + "]:" + QByteArray::number(port_);
    if (hashed) {
        QByteArray salt(20, Qt::Uninitialized);
        for (char& c : salt)
            c = static_cast<char>(QRandomGenerator::global()->bounded(256));
        host = "|1|" + salt.toBase64() + '|' +
               QMessageAuthenticationCode::hash(host, salt, QCryptographicHash::Sha1).toBase64();
    }
    const QByteArray key = ReadAll(work_->filePath(QStringLiteral("ssh_host_ed25519_key.pub")));
    return QString::fromLatin1(host + ' ' + key.trimmed());
}

QString FtpTestServer::UserKeyFile() {
    return TestUserKey().file;
}

bool FtpTestServer::HandOver(const QString& localPath) const {
    const std::optional<Account> account = TestAccount();
    if (!account) {
        return false;
    }
    bool ok = ::lchown(QFile::encodeName(localPath).constData(), account->uid, account->gid) == 0;
    QDirIterator it(localPath,
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        ok = ::lchown(QFile::encodeName(it.next()).constData(), account->uid, account->gid) == 0 &&
             ok;
    }
    return ok;
}

QByteArray FtpTestServer::CertificateFingerprint() {
    const QList<QSslCertificate> certificates =
        QSslCertificate::fromPath(TestCertificate().certFile);
    return certificates.isEmpty() ? QByteArray()
                                  : certificates.first().digest(QCryptographicHash::Sha256);
}

void FtpTestServer::Stop() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        // Sessions are processes of their own (vsftpd's even leave the process group).
        QList<ProcessId> all = Descendants(static_cast<pid_t>(process_->processId()));
        pid_t parent = 0;
        QByteArray startTime;
        if (ReadStat(static_cast<pid_t>(process_->processId()), &parent, &startTime)) {
            all.prepend(ProcessId{static_cast<pid_t>(process_->processId()), startTime});
        }
        Signal(all, SIGTERM);
        if (!process_->waitForFinished(kStopTimeoutMs)) {
            process_->kill();
            process_->waitForFinished(kStopTimeoutMs);
        }
        Signal(all, SIGKILL);
    }
    process_.reset();
    root_.reset();
    work_.reset();
    port_ = 0;
}
