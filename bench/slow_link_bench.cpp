// A far server: vsftpd with TLS required (its defaults: session reuse on data connections)
// behind a relay that delays the control connection by 25 ms each way. The first upload of 2,000
// small files in passive mode with TLS, by skerrowex-run and by `lftp mirror -R`, in the same run.
// Prints lftp's time / ours and the round trips each file costs.
//   slow_link_bench [files, default 2000] [delay ms each way, default 25]    (as root)
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

namespace {

constexpr int kFilesPerFolder = 100;

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void MakeTree(const QString& root, int files) {
    QRandomGenerator gen(11);
    for (int i = 0; i < files; ++i) {
        const QString dir = root + QStringLiteral("/dir%1").arg(i / kFilesPerFolder);
        QDir().mkpath(dir);
        QByteArray data(gen.bounded(512, 4096 + 1), Qt::Uninitialized);
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
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 25;
    FtpTestServer server;
    QString why;
    if (!server.Start(FtpServerKind::Vsftpd, &why, {.tls = true})) {
        std::fprintf(stderr, "vsftpd: %s\n", qPrintable(why));
        return 1;
    }
    DelayRelay relay(server.Port(), delayMs);
    if (!relay.Listen())
        return 1;
    QTemporaryDir home;
    const QString local = home.path() + QStringLiteral("/tree");
    MakeTree(local, files);

    const QString lftpScript = QStringLiteral(
                                   "set ftp:ssl-force yes; set ftp:ssl-protect-data yes; "
                                   "set ftp:passive-mode yes; set ssl:verify-certificate no; "
                                   "set net:max-retries 1; mirror -R '%1' /lftp; quit")
                                   .arg(local);
    relay.ResetCount();
    const double lftp =
        Timed(QStringLiteral("lftp"),
              {QStringLiteral("-u"), server.User() + u',' + server.Password(), QStringLiteral("-p"),
               QString::number(relay.Port()), QStringLiteral("-e"), lftpScript, server.Host()},
              QProcessEnvironment::systemEnvironment());
    const qint64 lftpTrips = relay.RoundTrips();

    const QString data = home.path() + QStringLiteral("/data/SkerrowEx");
    QDir().mkpath(data);
    WriteFile(data + QStringLiteral("/SkerrowEx.dat"),
              QStringList{QStringLiteral("True"), local, QStringLiteral("2"),
                          QStringLiteral("ftp://127.0.0.1:%1/ours").arg(relay.Port()),
                          server.User(), server.Password()}
                      .join(u'\t')
                      .toUtf8() +
                  "\r\n");
    WriteFile(data + QStringLiteral("/SkerrowEx.ini"),
              QStringLiteral("[Server_127.0.0.1:%1]\r\nDataConnection=Passive\r\nTls=Require\r\n"
                             "TrustedCertificate=%2\r\n")
                  .arg(relay.Port())
                  .arg(QString::fromLatin1(FtpTestServer::CertificateFingerprint().toHex(':')))
                  .toUtf8());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    relay.ResetCount();
    const double ours = Timed(QStringLiteral(SKERROWEX_RUN_PATH), {}, env);
    const qint64 ourTrips = relay.RoundTrips();

    const int lftpStored = FilesBelow(server.RootDir() + QStringLiteral("/lftp"));
    const int ourStored = FilesBelow(server.RootDir() + QStringLiteral("/ours"));
    std::printf("%d files, control connection delayed %d ms each way, passive, TLS required\n",
                files, delayMs);
    std::printf("  lftp  %8.2f s  %5d files stored  %5.2f round trips a file\n", lftp, lftpStored,
                static_cast<double>(lftpTrips) / files);
    std::printf("  ours  %8.2f s  %5d files stored  %5.2f round trips a file\n", ours, ourStored,
                static_cast<double>(ourTrips) / files);
    std::printf("  lftp / ours = %.2f (target >= 1.0)\n", lftp / ours);
    std::printf("  our command log: %s\n",
                qPrintable(data + QStringLiteral("/SkerrowEx.log.sys.log")));
    std::fflush(stdout);
    // Kept for reading the command log until the user presses Enter when asked to.
    if (qEnvironmentVariableIsSet("SLOW_LINK_BENCH_KEEP")) {
        std::getchar();
    }
    return lftpStored == files && ourStored == files ? 0 : 1;
}
