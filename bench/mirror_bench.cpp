// Mirrors a tree of 20,000 small files in 1,000 folders with skerrowex-run and with lftp's
// "mirror -R" to the same server in the same run, and prints lftp's time / ours for the first
// upload, a rerun with no change and a rerun after touching ten files.
//
//   mirror_bench [files-per-folder]     (20 by default: 1,000 folders x 20 = 20,000 files)
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

#include "FtpTestServer.h"

namespace {

constexpr int kTopFolders = 50;
constexpr int kSubFolders = 19;  // 50 top folders with 19 below each: 1,000 folders

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QStringList MakeTree(const QString& root, int filesPerFolder) {
    QRandomGenerator gen(7);
    QStringList files;
    auto fill = [&](const QString& dir) {
        QDir().mkpath(dir);
        for (int i = 0; i < filesPerFolder; ++i) {
            QByteArray data(gen.bounded(1024, 16 * 1024 + 1), Qt::Uninitialized);
            for (char& c : data)
                c = static_cast<char>(gen.bounded(256));
            const QString path = dir + QStringLiteral("/file%1.dat").arg(i);
            WriteFile(path, data);
            files.append(path);
        }
    };
    for (int t = 0; t < kTopFolders; ++t) {
        const QString top = root + QStringLiteral("/dir%1").arg(t);
        fill(top);
        for (int s = 0; s < kSubFolders; ++s)
            fill(top + QStringLiteral("/sub%1").arg(s));
    }
    return files;
}

double TimeCommand(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env) {
    // Dirty pages of the run before (or of the tree just made) would otherwise be written back
    // during this one and charged to it.
    ::sync();
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    if (!p.waitForFinished(3600 * 1000) || p.exitStatus() != QProcess::NormalExit)
        qFatal("%s did not finish", qPrintable(program));
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (p.exitCode() != 0)
        std::fprintf(stderr, "warning: %s exited with %d\n", qPrintable(program), p.exitCode());
    return seconds;
}

struct Runner {
    FtpTestServer& server;
    QString local;
    QString home;

    double Ours() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        return TimeCommand(QStringLiteral(SKERROWEX_RUN_PATH), {}, env);
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

void WriteProfile(const QString& home, const QString& local, const FtpTestServer& server) {
    const QString dir = home + QStringLiteral("/data/SkerrowEx");
    QDir().mkpath(dir);
    const QString line =
        QStringList{QStringLiteral("True"),
                    local,
                    QStringLiteral("2"),
                    QStringLiteral("ftp://") + server.FtpDir(QStringLiteral("/ours")),
                    server.User(),
                    server.Password()}
            .join(QLatin1Char('\t'));
    WriteFile(dir + QStringLiteral("/SkerrowEx.dat"), line.toUtf8() + "\r\n\r\n");
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

    std::printf("%s, %lld files in %d folders (seconds: lftp / ours = ratio)\n",
                qPrintable(FtpTestServer::KindName(kind)), static_cast<long long>(files.size()),
                kTopFolders * (kSubFolders + 1));
    std::printf("  first upload     %7.2f / %7.2f = %5.2f\n", lftpFirst, oursFirst,
                lftpFirst / oursFirst);
    std::printf("  no-change rerun  %7.2f / %7.2f = %5.2f\n", lftpSame, oursSame,
                lftpSame / oursSame);
    std::printf("  ten touched      %7.2f / %7.2f = %5.2f\n", lftpTouched, oursTouched,
                lftpTouched / oursTouched);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int filesPerFolder = argc > 1 ? std::atoi(argv[1]) : 20;
    for (FtpServerKind kind : {FtpServerKind::VsftpdRecursive, FtpServerKind::PureFtpd})
        Bench(kind, filesPerFolder);
    return 0;
}
