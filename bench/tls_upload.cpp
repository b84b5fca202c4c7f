// Uploads one file of 1 GiB over TLS (passive mode, TLS required, session reuse required: vsftpd
// with its TLS defaults) with our FTP client and with `curl --ssl-reqd -T` in the same run, and
// prints our throughput against curl's and our peak memory.
//   tls_upload_bench [size in MiB, default 1024]     (as root: the test servers need it)
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "FtpClient.h"
#include "FtpTestServer.h"

namespace {

class TlsHost : public FtpHost {
public:
    void Logging(const QString&) override {}
    void WriteLog(const QString&) override {}
    void ShowSocketError(const QString& text) override {
        std::fprintf(stderr, "socket error: %s\n", qPrintable(text));
    }
    bool InvestigateMode() override { return false; }
    Typ_ServerOptions ServerOptions(const QString&) override {
        return {DC_Passive, TLS_Require, FtpTestServer::CertificateFingerprint()};
    }
};

bool MakeFile(const QString& path, qint64 mebibytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (qint64 i = 0; i < mebibytes; ++i) {
        for (char& byte : block) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = static_cast<char>(state);
        }
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

qint64 PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? std::atoll(argv[1]) : 1024;
    FtpTestServer server;
    QString why;
    if (!server.Start(FtpServerKind::Vsftpd, &why, {.tls = true})) {
        std::fprintf(stderr, "vsftpd: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!MakeFile(source, mebibytes))
        return 1;
    const double bytes = static_cast<double>(mebibytes) * 1024 * 1024;

    QElapsedTimer timer;
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedChannels);
    timer.start();
    curl.start(
        QStringLiteral("curl"),
        {QStringLiteral("-sS"), QStringLiteral("--ssl-reqd"), QStringLiteral("-k"),
         QStringLiteral("-u"), server.User() + u':' + server.Password(), QStringLiteral("-T"),
         source, QStringLiteral("ftp://127.0.0.1:%1/curl.bin").arg(server.Port())});
    if (!curl.waitForFinished(3600 * 1000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed\n");
        return 1;
    }
    const double curlSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    const qint64 before = PeakKiB();
    TlsHost host;
    FtpClient client(host);
    Typ_Profile profile;
    profile.LocalBaseDir = dir.path();
    profile.FtpDir = server.FtpDir(QStringLiteral("/"));
    profile.Account = server.User();
    profile.Passwd = server.Password();
    if (!client.ConnectFtp(profile))
        return 1;
    timer.restart();
    const bool stored = client.FtpPutFile(source, QStringLiteral("/ours.bin"));
    const double ourSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    client.FtpQuit();
    if (!stored || QFile(server.RootDir() + QStringLiteral("/ours.bin")).size() != bytes) {
        std::fprintf(stderr, "our upload failed\n");
        return 1;
    }
    const double ours = bytes / ourSeconds / 1e6;
    const double theirs = bytes / curlSeconds / 1e6;
    std::printf(
        "%lld MiB over TLS to vsftpd: curl %.1f MB/s, ours %.1f MB/s, ours / curl = %.2f"
        " (target >= 0.80)\n",
        static_cast<long long>(mebibytes), theirs, ours, ours / theirs);
    std::printf("peak RSS %.1f MiB (before the upload %.1f MiB; target < 64 MiB)\n",
                static_cast<double>(PeakKiB()) / 1024, static_cast<double>(before) / 1024);
    return 0;
}
