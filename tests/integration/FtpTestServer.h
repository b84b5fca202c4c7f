#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// The real FTP servers the integration tests talk to, each started as a child process on a free
// 127.0.0.1 port with a fresh root folder and a temporary configuration. Every one of them takes
// active mode (PORT to 127.0.0.1), shows its root folder as "/" and stores files as the system
// account skerrowftp that tools/fetch-test-servers.sh makes.
// Sshd is OpenSSH's server with its own SFTP (no FTP kind, so not among AllKinds): no chroot, so
// its addresses name the root folder by its absolute path. It takes the account's password, and
// the key UserKeyFile() holds; its host key is made at each start.
enum class FtpServerKind { VsftpdRecursive, Vsftpd, PureFtpd, ProFtpd, PyFtpdLib, Sshd };

// How a server is set up beyond its kind. With tls, it takes explicit TLS (AUTH TLS) only, for
// the login and every data connection, with a self-signed certificate for 127.0.0.1 that the
// fixture makes; vsftpd and proftpd also refuse a data connection that does not resume the
// control connection's TLS session, as they do by default. Without activeMode, PORT and EPRT are
// refused (vsftpd only). With uploadRate, each server's own bandwidth limit slows uploads down.
// maxPerHost: logins the server takes at once from one address (0: no limit; vsftpd only).
struct FtpServerSetup {
    bool tls = false;
    bool activeMode = true;
    // Files are taken no faster than this many bytes a second; 0: as fast as they come.
    qint64 uploadRate = 0;
    // Without overwrite, neither STOR nor RNTO replaces an existing file (proftpd only).
    bool overwrite = true;
    int maxPerHost = 0;
};

class FtpTestServer {
public:
    static QList<FtpServerKind> AllKinds();
    static QString KindName(FtpServerKind kind);
    // False with the reason when the server's program is not on this machine. Tests do not skip
    // then: the test command installs every server, so a missing one is a failure.
    static bool Installed(FtpServerKind kind, QString* whyNot);

    FtpTestServer() = default;
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;
    ~FtpTestServer();  // stops the server, removes its temp folders

    // Starts the server in the foreground (as a child process) on a free 127.0.0.1 port with a
    // fresh temporary root folder and a temp config; false with a reason when the binary is absent
    // or it does not come up.
    bool Start(FtpServerKind kind, QString* whyNot, const FtpServerSetup& setup = {});
    QString Host() const { return QStringLiteral("127.0.0.1"); }
    quint16 Port() const { return port_; }
    QString User() const;
    QString Password() const;
    QString RootDir() const;  // local folder that the login sees as "/", writable by the server
    // "127.0.0.1:PORT" + remoteBase, for Typ_Profile.FtpDir; for Sshd
    // "sftp://127.0.0.1:PORT" + RootDir() + remoteBase.
    QString FtpDir(const QString& remoteBase) const;
    // Gives a file or folder that a test put under RootDir itself (recursively) to the account
    // the server writes as, so that the server may overwrite or add to it like its own uploads.
    bool HandOver(const QString& localPath) const;
    // The processes below the server's own that run as the test account, one a login for vsftpd,
    // oldest first.
    QList<qint64> SessionProcesses() const;
    void Stop();

    // The SHA-256 digest of the certificate every TLS server of this process shows.
    static QByteArray CertificateFingerprint();

    // Sshd: its host key's fingerprint as ssh-keygen -l shows it ("SHA256:..."), and its line for
    // a known_hosts file, the host name hashed or not.
    QString HostKeyFingerprint() const;
    QString KnownHostsLine(bool hashed) const;
    // The private key (ed25519, no passphrase) every Sshd of this process takes; empty when it
    // could not be made.
    static QString UserKeyFile();

private:
    bool MakeFolders(QString* whyNot);
    bool StartOnPort(QString* whyNot);
    bool WriteConfig(QStringList* arguments, QString* whyNot);
    bool WaitUntilServing(QString* whyNot);
    QString Diagnostics();
    QString Banner() const;  // unique to this start, shown in the server's 220

    FtpServerKind kind_ = FtpServerKind::Vsftpd;
    FtpServerSetup setup_;
    quint16 port_ = 0;
    std::unique_ptr<QTemporaryDir> work_;  // configuration, user database, logs
    std::unique_ptr<QTemporaryDir> root_;
    std::unique_ptr<QProcess> process_;
};
