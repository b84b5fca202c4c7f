// Uploads one 1 GiB file to a vsftpd of its own on loopback, with curl (active mode) and with
// our FTP client, and prints our peak memory and our throughput against curl's.
// Run as root (vsftpd wants it): build/ftp_upload_bench [size in MiB, default 1024]
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "FtpClient.h"
#include "QuietFtpHost.h"

namespace {

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// vsftpd in the foreground, anonymous upload into <root>/up.
bool StartVsftpd(QProcess& vsftpd, const QString& root, const QString& conf, quint16 port) {
    QDir().mkpath(root + "/up");
    QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::ExeOther);
    QFile::setPermissions(root + "/up", QFile::Permissions(0x7777));
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                              "listen_port=%1\nbackground=NO\nanonymous_enable=YES\n"
                              "anon_root=%2\nwrite_enable=YES\nanon_upload_enable=YES\n"
                              "anon_umask=022\nlocal_enable=NO\nno_anon_password=YES\n"
                              "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                              "connect_from_port_20=NO\nport_promiscuous=NO\n"
                              "xferlog_enable=NO\n")
                   .arg(port)
                   .arg(root)
                   .toUtf8());
    file.close();
    vsftpd.setProcessChannelMode(QProcess::ForwardedChannels);
    vsftpd.start(QStringLiteral("/usr/sbin/vsftpd"), {conf});
    if (!vsftpd.waitForStarted())
        return false;
    // Ready once it accepts connections.
    return QTest::qWaitFor(
        [port] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(200);
        },
        5000);
}

double CurlSeconds(const QString& file, quint16 port) {
    QElapsedTimer timer;
    timer.start();
    const int rc = QProcess::execute(QStringLiteral("curl"),
                                     {"-s", "-S", "-P", "-", "-T", file,
                                      QStringLiteral("ftp://127.0.0.1:%1/up/curl.bin").arg(port)});
    return rc == 0 ? timer.nsecsElapsed() / 1e9 : -1;
}

double OurSeconds(const QString& file, quint16 port) {
    QuietFtpHost host;
    FtpClient client(host);
    Typ_Profile profile;
    profile.FtpDir = QStringLiteral("127.0.0.1:%1/up").arg(port);
    profile.Account = QStringLiteral("anonymous");
    profile.Passwd = QStringLiteral("bench@");
    // Login included, as it is in curl's time.
    QElapsedTimer timer;
    timer.start();
    const bool ok =
        client.ConnectFtp(profile) && client.FtpPutFile(file, QStringLiteral("/up/ours.bin"));
    client.FtpQuit();
    return ok ? timer.nsecsElapsed() / 1e9 : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    // The server's disk is memory, so neither side waits for a disk.
    QTemporaryDir work(QStringLiteral("/dev/shm/skerrow-bench-XXXXXX"));
    const QString source = work.filePath("source.bin");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(mib * 1024 * 1024))
            return 2;
    }
    const quint16 port = FreePort();
    QProcess vsftpd;
    if (!StartVsftpd(vsftpd, work.filePath("root"), work.filePath("vsftpd.conf"), port)) {
        std::fprintf(stderr, "vsftpd did not start\n");
        return 2;
    }
    double curlBest = 1e9, oursBest = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double curl = CurlSeconds(source, port);
        QFile::remove(work.filePath("root/up/curl.bin"));
        const double ours = OurSeconds(source, port);
        const qint64 stored = QFile(work.filePath("root/up/ours.bin")).size();
        QFile::remove(work.filePath("root/up/ours.bin"));
        if (curl < 0 || ours < 0 || stored != mib * 1024 * 1024) {
            std::fprintf(stderr, "upload failed (curl %.2f s, ours %.2f s, stored %lld)\n", curl,
                         ours, static_cast<long long>(stored));
            return 1;
        }
        std::printf("round %d: curl %.3f s, ours %.3f s\n", round + 1, curl, ours);
        curlBest = std::min(curlBest, curl);
        oursBest = std::min(oursBest, ours);
    }
    vsftpd.kill();
    vsftpd.waitForFinished();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMiB = usage.ru_maxrss / 1024.0;
    const double size = static_cast<double>(mib);
    std::printf("file %lld MiB: curl %.0f MiB/s, ours %.0f MiB/s\n", static_cast<long long>(mib),
                size / curlBest, size / oursBest);
    std::printf("throughput ratio ours/curl: %.2f (target >= 0.80)\n", curlBest / oursBest);
    std::printf("peak RSS %.1f MiB, ratio to the 64 MiB limit: %.2f (target < 1.00)\n", peakMiB,
                peakMiB / 64.0);
    return 0;
}
