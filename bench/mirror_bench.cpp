// Mirrors a tree of 20,000 small files in 1,000 folders with skerrowex-run and with lftp's
// "mirror -R" to the same server in the same run, and prints lftp's time / ours for the first
// upload, a rerun with no change, a rerun after touching ten files and one after a rebuild (every
// file rewritten with its own bytes and a new time, ten of them changed: lftp sends them all, we
// send ten), with our rebuilt run against our own no-change rerun and SHA-256's throughput
// beside it. Then it uploads trees of
// 2,000 and 20,000 files in 40-file folders (clear text in active mode, TLS in passive mode) and
// prints how peak memory and CPU time per file grow with the tree: a run must hold no more for
// more files, and cost no more a file.
//
//   mirror_bench [files-per-folder]     (20 by default: 1,000 folders x 20 = 20,000 files)
//   mirror_bench scaling                (the growth figures only)
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>

#include "ContentDigest.h"
#include "FtpTestServer.h"
#include "RunMeasured.h"
#include "RunnerPath.h"
#include "ServerCertificate.h"
#include "Typ_ServerOptions.h"

namespace {

constexpr int kTopFolders = 50;
constexpr int kSubFolders = 19;  // 50 top folders with 19 below each: 1,000 folders
constexpr int kScalingFilesPerFolder = 40;

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// filesPerFolder files of random bytes, minBytes to maxBytes each, in dir.
void FillFolder(const QString& dir, int filesPerFolder, int minBytes, int maxBytes,
                QRandomGenerator& gen, QStringList* files) {
    QDir().mkpath(dir);
    for (int i = 0; i < filesPerFolder; ++i) {
        QByteArray data(gen.bounded(minBytes, maxBytes + 1), Qt::Uninitialized);
        for (char& c : data)
            c = static_cast<char>(gen.bounded(256));
        const QString path = dir + QStringLiteral("/file%1.dat").arg(i);
        WriteFile(path, data);
        files->append(path);
    }
}

QStringList MakeTree(const QString& root, int filesPerFolder) {
    QRandomGenerator gen(7);
    QStringList files;
    for (int t = 0; t < kTopFolders; ++t) {
        const QString top = root + QStringLiteral("/dir%1").arg(t);
        FillFolder(top, filesPerFolder, 1024, 16 * 1024, gen, &files);
        for (int s = 0; s < kSubFolders; ++s)
            FillFolder(top + QStringLiteral("/sub%1").arg(s), filesPerFolder, 1024, 16 * 1024, gen,
                       &files);
    }
    return files;
}

double TimeCommand(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env) {
    return RunMeasured(program, args, env).seconds;
}

struct Runner {
    FtpTestServer& server;
    QString local;
    QString home;

    double Ours() const { return OursMeasured().seconds; }

    Usage OursMeasured() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        return RunMeasured(RunnerPath(), {}, env);
    }

    double Lftp() const {
        const QString script = QStringLiteral(
                                   "set ftp:passive-mode off; set ftp:ssl-allow no; "
                                   "set net:max-retries 1; mirror -R --no-perms '%1' /lftp; quit")
                                   .arg(local);
        return TimeCommand(
            QStringLiteral("lftp"),
            {QStringLiteral("-u"), server.User() + QLatin1Char(',') + server.Password(),
             QStringLiteral("-p"), QString::number(server.Port()), QStringLiteral("-e"), script,
             server.Host()},
            QProcessEnvironment::systemEnvironment());
    }
};

void WriteProfile(const QString& home, const QString& local, const FtpTestServer& server,
                  const QString& base = QStringLiteral("/ours")) {
    const QString dir = home + QStringLiteral("/data/SkerrowEx");
    QDir().mkpath(dir);
    const QString line =
        QStringList{QStringLiteral("True"), local,
                    QStringLiteral("2"),    QStringLiteral("ftp://") + server.FtpDir(base),
                    server.User(),          server.Password()}
            .join(QLatin1Char('\t'));
    WriteFile(dir + QStringLiteral("/SkerrowEx.dat"), line.toUtf8() + "\r\n\r\n");
}

// folders x files, one level deep.
QStringList MakeFlatTree(const QString& root, int folders, int filesPerFolder) {
    QRandomGenerator gen(11);
    QStringList files;
    for (int f = 0; f < folders; ++f)
        FillFolder(root + QStringLiteral("/dir%1").arg(f), filesPerFolder, 1024, 8 * 1024, gen,
                   &files);
    return files;
}

// TLS required, passive mode and the test certificate trusted, for the server.
void WriteTlsSettings(const QString& home, const FtpTestServer& server) {
    const QString hostPort = server.Host() + QLatin1Char(':') + QString::number(server.Port());
    const QString text =
        QLatin1Char('[') + ServerOptionKeys::Section(hostPort) + QStringLiteral("]\r\n") +
        ServerOptionKeys::kDataConnection + QStringLiteral("=Passive\r\n") +
        ServerOptionKeys::kTls + QStringLiteral("=Require\r\n") +
        ServerOptionKeys::kTrustedCertificate + QLatin1Char('=') +
        ServerCertificate::FingerprintText(FtpTestServer::CertificateFingerprint()) +
        QStringLiteral("\r\n");
    WriteFile(home + QStringLiteral("/data/SkerrowEx/SkerrowEx.ini"), text.toUtf8());
}

void Touch(const QStringList& files) {
    const QDateTime later = QDateTime::currentDateTime().addSecs(60);
    for (int i = 0; i < 10; ++i) {
        QFile f(files.at(i * (files.size() / 10)));
        if (!f.open(QIODevice::ReadWrite) ||
            !f.setFileTime(later, QFileDevice::FileModificationTime))
            qFatal("cannot touch");
    }
}

// Every file written anew with its own bytes and a time later than any before; ten of them get
// other bytes of the same size.
void Rebuild(const QStringList& files) {
    const QDateTime later = QDateTime::currentDateTime().addSecs(120);
    for (qsizetype i = 0; i < files.size(); ++i) {
        QFile f(files.at(i));
        if (!f.open(QIODevice::ReadWrite))
            qFatal("cannot rebuild %s", qPrintable(files.at(i)));
        QByteArray bytes = f.readAll();
        if (i % (files.size() / 10) == 1)
            bytes[0] = static_cast<char>(~bytes.at(0));
        if (!f.resize(0) || !f.seek(0) || f.write(bytes) != bytes.size() ||
            !f.setFileTime(later, QFileDevice::FileModificationTime))
            qFatal("cannot rebuild %s", qPrintable(files.at(i)));
    }
}

// SHA-256 through ContentDigest, in MB/s, over data in memory.
double DigestMegabytesPerSecond() {
    const QByteArray chunk(256 * 1024, 'x');
    constexpr int kChunks = 2048;  // 512 MiB
    ContentDigest digest;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kChunks; ++i)
        digest.Add(chunk.constData(), chunk.size());
    if (digest.Hex().isEmpty())
        qFatal("SHA-256 failed");
    return static_cast<double>(chunk.size()) * kChunks / 1e6 /
           (static_cast<double>(timer.nsecsElapsed()) / 1e9);
}

void Bench(FtpServerKind kind, int filesPerFolder) {
    FtpTestServer server;
    QString why;
    if (!server.Start(kind, &why)) {
        std::printf("%s: not available (%s)\n", qPrintable(FtpTestServer::KindName(kind)),
                    qPrintable(why));
        return;
    }
    QTemporaryDir home;
    const QString local = home.path() + QStringLiteral("/tree");
    const QStringList files = MakeTree(local, filesPerFolder);
    WriteProfile(home.path(), local, server);
    const Runner run{server, local, home.path()};

    const double lftpFirst = run.Lftp();
    const double oursFirst = run.Ours();
    const double lftpSame = run.Lftp();
    const double oursSame = run.Ours();
    Touch(files);
    const double lftpTouched = run.Lftp();
    const double oursTouched = run.Ours();
    Rebuild(files);
    const double lftpRebuilt = run.Lftp();
    const double oursRebuilt = run.Ours();
    const double oursAfter = run.Ours();
    // The same first upload again, elsewhere on the server, over four connections.
    WriteProfile(home.path(), local, server, QStringLiteral("/ours4"));
    WriteFile(home.path() + QStringLiteral("/data/SkerrowEx/SkerrowEx.ini"),
              QStringLiteral("[Server_%1:%2]\r\nConnections=4\r\n")
                  .arg(server.Host())
                  .arg(server.Port())
                  .toUtf8());
    const double oursFour = run.Ours();

    std::printf("%s, %lld files in %d folders (seconds: lftp / ours = ratio)\n",
                qPrintable(FtpTestServer::KindName(kind)), static_cast<long long>(files.size()),
                kTopFolders * (kSubFolders + 1));
    std::printf("  first upload     %7.2f / %7.2f = %5.2f\n", lftpFirst, oursFirst,
                lftpFirst / oursFirst);
    std::printf("  no-change rerun  %7.2f / %7.2f = %5.2f\n", lftpSame, oursSame,
                lftpSame / oursSame);
    std::printf("  ten touched      %7.2f / %7.2f = %5.2f\n", lftpTouched, oursTouched,
                lftpTouched / oursTouched);
    std::printf("  rebuilt, 10 new  %7.2f / %7.2f = %5.2f (goal >= 20)\n", lftpRebuilt, oursRebuilt,
                lftpRebuilt / oursRebuilt);
    std::printf(
        "  rebuilt / our no-change rerun %.2f / %.2f = %.2f (goal <= 2); SHA-256 %.0f MB/s\n",
        oursRebuilt, oursAfter, oursRebuilt / oursAfter, DigestMegabytesPerSecond());
    std::printf(
        "  first upload, Connections=1 / Connections=4: %7.2f / %7.2f = %5.2f (goal >= "
        "1.5)\n",
        oursFirst, oursFour, oursFirst / oursFour);
    std::fflush(stdout);
}

// The first upload of a flat tree of the given size to a fresh vsftpd.
Usage FirstUpload(int files, bool tls) {
    FtpTestServer server;
    QString why;
    if (!server.Start(FtpServerKind::VsftpdRecursive, &why, {.tls = tls}))
        qFatal("vsftpd: %s", qPrintable(why));
    QTemporaryDir home;
    const QString local = home.path() + QStringLiteral("/tree");
    MakeFlatTree(local, files / kScalingFilesPerFolder, kScalingFilesPerFolder);
    WriteProfile(home.path(), local, server);
    if (tls)
        WriteTlsSettings(home.path(), server);
    return Runner{server, local, home.path()}.OursMeasured();
}

void Scaling(bool tls) {
    const char* what = tls ? "TLS, passive" : "clear text, active";
    const int small = 2000;
    const int large = 20000;
    const Usage a = FirstUpload(small, tls);
    const Usage b = FirstUpload(large, tls);
    for (const auto& [files, u] : {std::pair{small, a}, std::pair{large, b}})
        std::printf("  %-20s %6d files %8.2f s %8.1f us CPU/file %7.1f MiB peak\n", what, files,
                    u.seconds, u.userCpu / files * 1e6, u.peakMiB);
    std::printf(
        "  %-20s 20,000 / 2,000: peak RSS %.2f (goal <= 1.20), user CPU per file %.2f "
        "(goal <= 1.30)\n",
        what, b.peakMiB / a.peakMiB, (b.userCpu / large) / (a.userCpu / small));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool scalingOnly = argc > 1 && QByteArray(argv[1]) == "scaling";
    const int filesPerFolder = argc > 1 && !scalingOnly ? std::atoi(argv[1]) : 20;
    for (FtpServerKind kind : {FtpServerKind::VsftpdRecursive, FtpServerKind::PureFtpd}) {
        if (!scalingOnly)
            Bench(kind, filesPerFolder);
    }
    std::printf("first upload to vsftpd with recursive listing, %d files a folder\n",
                kScalingFilesPerFolder);
    Scaling(false);
    Scaling(true);
    return 0;
}
