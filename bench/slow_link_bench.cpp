// A far server: every connection, passive data connections included, goes through a relay that
// delays it 25 ms each way (a 50 ms round trip, handshakes included). On 2,000 files of 1 to 8 KiB
// in 100 folders, in passive mode, in the same run:
//  - the first upload to vsftpd by `lftp mirror -R`, by `lftp mirror -R --parallel=8` and by
//    skerrowex-run with Connections=1 and Connections=8;
//  - a no-change rerun on pure-ftpd (no recursive listing: a listing a folder) by
//    `lftp mirror -R --parallel=8` and by skerrowex-run with Connections=1 and 8;
//  - over SFTP to OpenSSH's sshd, the first upload and a no-change rerun by `lftp mirror -R`
//    (which runs OpenSSH's ssh) and by skerrowex-run with Connections=1 and 8.
// Prints the times, the ratios against their goals and the round trips each file costs.
//   slow_link_bench [files, default 2000] [delay ms each way, default 25] [first | rerun | sftp]
//   (the last: one of the parts only)
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

#include "DelayRelay.h"
#include "FtpTestServer.h"
#include "RunnerPath.h"

namespace {

constexpr int kFolders = 100;

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void MakeTree(const QString& root, int files) {
    QRandomGenerator gen(11);
    for (int i = 0; i < files; ++i) {
        const QString dir = root + QStringLiteral("/dir%1").arg(i % kFolders);
        QDir().mkpath(dir);
        QByteArray data(gen.bounded(1024, 8 * 1024 + 1), Qt::Uninitialized);
        for (char& c : data)
            c = static_cast<char>(gen.bounded(256));
        WriteFile(dir + QStringLiteral("/file%1.dat").arg(i), data);
    }
}

int FilesBelow(const QString& root) {
    int n = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

// Runs a program to its end while the relay keeps working in this thread's event loop.
double Timed(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    loop.exec();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        std::fprintf(stderr, "warning: %s ended with %d\n", qPrintable(program), p.exitCode());
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

struct Measure {
    double seconds = 0;
    double tripsPerFile = 0;
};

// One far server and the two clients that mirror the same tree to it.
class FarServer {
public:
    FarServer(FtpServerKind kind, int files, int delayMs) : m_files(files) {
        QString why;
        if (!m_server.Start(kind, &why))
            qFatal("%s: %s", qPrintable(FtpTestServer::KindName(kind)), qPrintable(why));
        m_sftp = kind == FtpServerKind::Sshd;
        m_relay = std::make_unique<DelayRelay>(m_server.Port(), delayMs, !m_sftp);
        if (!m_relay->Listen())
            qFatal("relay: cannot listen");
        m_local = m_home.path() + QStringLiteral("/tree");
        MakeTree(m_local, files);
        m_data = m_home.path() + QStringLiteral("/data/SkerrowEx");
        QDir().mkpath(m_data);
    }

    Measure Lftp(const QString& base, int parallel) {
        // Over SFTP lftp runs ssh, which would ask about the host key: it is taken unseen.
        const QString settings =
            m_sftp ? QStringLiteral(
                         "set sftp:connect-program 'ssh -a -x -o "
                         "StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null'; ")
                   : QStringLiteral("set ftp:passive-mode on; set ftp:ssl-allow no; ");
        const QString script = settings + QStringLiteral(
                                              "set net:max-retries 1; "
                                              "mirror -R --parallel=%1 '%2' '%3'; quit")
                                              .arg(parallel)
                                              .arg(m_local, RemotePath(base));
        return Timed(QStringLiteral("lftp"),
                     {QStringLiteral("-u"), m_server.User() + u',' + m_server.Password(),
                      QStringLiteral("-p"), QString::number(m_relay->Port()), QStringLiteral("-e"),
                      script, (m_sftp ? QStringLiteral("sftp://") : QString()) + m_server.Host()},
                     QProcessEnvironment::systemEnvironment());
    }

    Measure Ours(const QString& base, int connections) {
        WriteFile(m_data + QStringLiteral("/SkerrowEx.dat"),
                  QStringList{QStringLiteral("True"), m_local, QStringLiteral("2"),
                              QStringLiteral("%1://127.0.0.1:%2%3")
                                  .arg(m_sftp ? QStringLiteral("sftp") : QStringLiteral("ftp"))
                                  .arg(m_relay->Port())
                                  .arg(RemotePath(base)),
                              m_server.User(), m_server.Password()}
                          .join(u'\t')
                          .toUtf8() +
                      "\r\n");
        WriteFile(m_data + QStringLiteral("/SkerrowEx.ini"),
                  QStringLiteral("[Server_127.0.0.1:%1]\r\nDataConnection=Passive\r\n"
                                 "Connections=%2\r\nTrustedHostKey=%3\r\n")
                      .arg(m_relay->Port())
                      .arg(connections)
                      .arg(m_sftp ? m_server.HostKeyFingerprint() : QString())
                      .toUtf8());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/data"));
        return Timed(RunnerPath(), {}, env);
    }

    int Stored(const QString& base) const { return FilesBelow(m_server.RootDir() + base); }

private:
    // sshd shows the whole file system: its root folder is named by its own path.
    QString RemotePath(const QString& base) const {
        return m_sftp ? m_server.RootDir() + base : base;
    }

    Measure Timed(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        m_relay->ResetCount();
        Measure m;
        m.seconds = ::Timed(program, args, env);
        m.tripsPerFile = static_cast<double>(m_relay->RoundTrips()) / m_files;
        return m;
    }

    int m_files;
    bool m_sftp = false;
    FtpTestServer m_server;
    std::unique_ptr<DelayRelay> m_relay;
    QTemporaryDir m_home;
    QString m_local;
    QString m_data;
};

void Row(const char* who, const Measure& m, int stored) {
    std::printf("  %-28s %8.2f s  %5.2f round trips a file  %5d files there\n", who, m.seconds,
                m.tripsPerFile, stored);
}

enum class Tool { Lftp, Ours };

// One mirror of base with that many connections, and its row.
Measure Mirror(FarServer& server, const char* who, Tool tool, const QString& base, int count) {
    const Measure m = tool == Tool::Lftp ? server.Lftp(base, count) : server.Ours(base, count);
    Row(who, m, server.Stored(base));
    return m;
}

void FirstUpload(int files, int delayMs);
void Rerun(int files, int delayMs);
void Sftp(int files, int delayMs);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 25;
    std::printf(
        "%d files of 1 to 8 KiB in %d folders, every connection delayed %d ms each way, "
        "passive mode\n",
        files, kFolders, delayMs);

    const QByteArray part = argc > 3 ? QByteArray(argv[3]) : QByteArray();
    if (part.isEmpty() || part == "first")
        FirstUpload(files, delayMs);
    if (part.isEmpty() || part == "rerun")
        Rerun(files, delayMs);
    if (part.isEmpty() || part == "sftp")
        Sftp(files, delayMs);
    return 0;
}

namespace {

void FirstUpload(int files, int delayMs) {
    FarServer vsftpd(FtpServerKind::VsftpdRecursive, files, delayMs);
    std::printf("first upload, vsftpd\n");
    const Measure lftp = Mirror(vsftpd, "lftp mirror -R", Tool::Lftp, QStringLiteral("/lftp"), 1);
    const Measure lftp8 =
        Mirror(vsftpd, "lftp mirror -R --parallel=8", Tool::Lftp, QStringLiteral("/lftp8"), 8);
    Mirror(vsftpd, "ours, Connections=1", Tool::Ours, QStringLiteral("/ours1"), 1);
    const Measure ours8 =
        Mirror(vsftpd, "ours, Connections=8", Tool::Ours, QStringLiteral("/ours8"), 8);
    std::printf(
        "  lftp / ours(8) = %.2f (goal >= 6), lftp --parallel=8 / ours(8) = %.2f (goal >= "
        "1.5)\n",
        lftp.seconds / ours8.seconds, lftp8.seconds / ours8.seconds);
    std::fflush(stdout);
}

void Rerun(int files, int delayMs) {
    FarServer pure(FtpServerKind::PureFtpd, files, delayMs);
    pure.Lftp(QStringLiteral("/lftp8"), 8);
    pure.Ours(QStringLiteral("/ours8"), 8);
    std::printf("no-change rerun, pure-ftpd (a listing a folder)\n");
    const Measure lftpSame =
        Mirror(pure, "lftp mirror -R --parallel=8", Tool::Lftp, QStringLiteral("/lftp8"), 8);
    Mirror(pure, "ours, Connections=1", Tool::Ours, QStringLiteral("/ours8"), 1);
    const Measure ours8Same =
        Mirror(pure, "ours, Connections=8", Tool::Ours, QStringLiteral("/ours8"), 8);
    std::printf("  lftp --parallel=8 / ours(8) = %.2f (goal >= 2)\n",
                lftpSame.seconds / ours8Same.seconds);
}

void Sftp(int files, int delayMs) {
    FarServer sshd(FtpServerKind::Sshd, files, delayMs);
    std::printf("SFTP, sshd: first upload, then a no-change rerun\n");
    const Measure lftp = Mirror(sshd, "lftp mirror -R", Tool::Lftp, QStringLiteral("/lftp"), 1);
    const Measure ours1 =
        Mirror(sshd, "ours, Connections=1", Tool::Ours, QStringLiteral("/ours1"), 1);
    const Measure ours8 =
        Mirror(sshd, "ours, Connections=8", Tool::Ours, QStringLiteral("/ours8"), 8);
    const Measure lftpSame =
        Mirror(sshd, "lftp mirror -R, rerun", Tool::Lftp, QStringLiteral("/lftp"), 1);
    const Measure ours1Same =
        Mirror(sshd, "ours, Connections=1, rerun", Tool::Ours, QStringLiteral("/ours8"), 1);
    const Measure ours8Same =
        Mirror(sshd, "ours, Connections=8, rerun", Tool::Ours, QStringLiteral("/ours8"), 8);
    std::printf(
        "  first upload lftp / ours(8) = %.2f (goal >= 1.5), ours(1) = %.2f; "
        "rerun lftp / ours(8) = %.2f (goal >= 2), ours(1) = %.2f\n",
        lftp.seconds / ours8.seconds, lftp.seconds / ours1.seconds,
        lftpSame.seconds / ours8Same.seconds, lftpSame.seconds / ours1Same.seconds);
}

}  // namespace
