// Uploads one 1 GiB file to an sshd of its own on loopback, with OpenSSH's sftp (put, in batch
// mode) and with our SFTP client, and prints our peak memory and our throughput against sftp's.
// Run as root (sshd wants it): build/sftp_upload_bench [size in MiB, default 1024]
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "FtpTestServer.h"
#include "HostKeyFingerprint.h"
#include "QuietFtpHost.h"
#include "SftpClient.h"

namespace {

double SftpSeconds(const FtpTestServer& server, const QString& file, const QString& remote,
                   const QString& batch) {
    QFile commands(batch);
    if (!commands.open(QIODevice::WriteOnly))
        return -1;
    commands.write(QStringLiteral("put \"%1\" \"%2\"\n").arg(file, remote).toUtf8());
    commands.close();
    QElapsedTimer timer;
    timer.start();
    const int rc = QProcess::execute(
        QStringLiteral("sftp"),
        {"-q", "-b", batch, "-i", FtpTestServer::UserKeyFile(), "-o", "IdentitiesOnly=yes", "-o",
         "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null", "-P",
         QString::number(server.Port()), server.User() + QStringLiteral("@127.0.0.1")});
    return rc == 0 ? timer.nsecsElapsed() / 1e9 : -1;
}

double OurSeconds(const FtpTestServer& server, const QString& file, const QString& remote) {
    Typ_ServerOptions options;
    options.TrustedHostKey = HostKeyFingerprint::Parse(server.HostKeyFingerprint());
    QuietFtpHost host(options);
    SftpClient client(host);
    Typ_Profile profile;
    profile.FtpDir = server.FtpDir(QString());
    profile.Account = server.User();
    profile.Passwd = server.Password();
    // Login included, as it is in sftp's time.
    QElapsedTimer timer;
    timer.start();
    const bool ok = client.FtpLogin(profile) && client.FtpPutFile(file, remote);
    client.FtpQuit();
    return ok ? timer.nsecsElapsed() / 1e9 : -1;
}

}  // namespace

int main(int argc, char** argv) {
    // The server's disk is memory, so neither side waits for a disk.
    qputenv("TMPDIR", "/dev/shm");
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir work;
    const QString source = work.filePath("source.bin");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(mib * 1024 * 1024))
            return 2;
    }
    FtpTestServer server;
    QString why;
    if (!server.Start(FtpServerKind::Sshd, &why)) {
        std::fprintf(stderr, "sshd did not start: %s\n", qPrintable(why));
        return 2;
    }
    const QString theirs = server.RootDir() + QStringLiteral("/sftp.bin");
    const QString ours = server.RootDir() + QStringLiteral("/ours.bin");
    double sftpBest = 1e9, oursBest = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double sftp = SftpSeconds(server, source, theirs, work.filePath("batch"));
        QFile::remove(theirs);
        const double our = OurSeconds(server, source, ours);
        const qint64 stored = QFile(ours).size();
        QFile::remove(ours);
        if (sftp < 0 || our < 0 || stored != mib * 1024 * 1024) {
            std::fprintf(stderr, "upload failed (sftp %.2f s, ours %.2f s, stored %lld)\n", sftp,
                         our, static_cast<long long>(stored));
            return 1;
        }
        std::printf("round %d: sftp %.3f s, ours %.3f s\n", round + 1, sftp, our);
        sftpBest = std::min(sftpBest, sftp);
        oursBest = std::min(oursBest, our);
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMiB = usage.ru_maxrss / 1024.0;
    const double size = static_cast<double>(mib);
    std::printf("file %lld MiB: sftp %.0f MiB/s, ours %.0f MiB/s\n", static_cast<long long>(mib),
                size / sftpBest, size / oursBest);
    std::printf("throughput ratio ours/sftp: %.2f (target >= 0.80)\n", sftpBest / oursBest);
    std::printf("peak RSS %.1f MiB, ratio to the 64 MiB limit: %.2f (target < 1.00)\n", peakMiB,
                peakMiB / 64.0);
    return 0;
}
