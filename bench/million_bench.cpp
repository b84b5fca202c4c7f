// SkerrowEx on a very large tree: 1,000,000 files of 0 to 1 KiB in 50,000 folders, beside a tree
// of 100,000 files of the same shape, mirrored by skerrowex-run to vsftpd with recursive listing.
// The small tree is uploaded for real; the large one is put on the server by hard links and
// recorded by investigating (sending a million files over FTP would take hours). Then no-change
// reruns of both, taken in turns, so that whatever else the machine does falls on both alike:
// their median times and peak memory, the ledger's size and one lookup's time at a million rows,
// and what the remote listing holds an entry in.
//
//   million_bench            (both trees)
//   million_bench 100000     (only the small tree, of that many files: a quick check)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QVector>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "FtpClient.h"
#include "FtpTestServer.h"
#include "QuietFtpHost.h"
#include "RemoteListing.h"
#include "RunMeasured.h"
#include "RunnerPath.h"
#include "UploadLedger.h"

namespace {

constexpr int kTopFolders = 50;
constexpr int kFilesPerFolder = 20;
constexpr int kLookups = 10'000;
constexpr double kPeakGoalMiB = 256;
constexpr double kRerunRatioGoal = 10;
// No-change reruns of each tree; the median counts.
constexpr int kReruns = 5;

const char* Verdict(bool ok) {
    return ok ? "ok" : "MISSED";
}

// "t012/s0345/f07.dat": file n of a tree of the given size, 50 top folders holding the rest.
QByteArray RelativePath(int n, int files) {
    const int subFolders = files / kFilesPerFolder / kTopFolders;
    const int folder = n / kFilesPerFolder;
    char text[40];
    std::snprintf(text, sizeof text, "t%03d/s%04d/f%02d.dat", folder / subFolders,
                  folder % subFolders, n % kFilesPerFolder);
    return text;
}

// The folders file n opens, when it is the first of its top folder or of its subfolder.
void MakeFoldersFor(const QByteArray& root, const QByteArray& relative, int n, int files) {
    if (n % kFilesPerFolder != 0)
        return;
    const qsizetype topEnd = relative.indexOf('/');
    const qsizetype subEnd = relative.lastIndexOf('/');
    if (n % (files / kTopFolders) == 0)
        ::mkdir((root + '/' + relative.left(topEnd)).constData(), 0755);
    if (::mkdir((root + '/' + relative.left(subEnd)).constData(), 0755) != 0)
        qFatal("cannot make a folder below %s", root.constData());
}

// Slices of one random buffer, so that making a million files costs little beside the runs.
void MakeTree(const QString& root, int files) {
    QElapsedTimer timer;
    timer.start();
    std::mt19937 gen(7);
    std::vector<char> noise(64 * 1024);
    for (char& c : noise)
        c = static_cast<char>(gen());
    const QByteArray rootBytes = QFile::encodeName(root);
    ::mkdir(rootBytes.constData(), 0755);
    for (int n = 0; n < files; ++n) {
        const QByteArray relative = RelativePath(n, files);
        MakeFoldersFor(rootBytes, relative, n, files);
        const size_t size = gen() % 1025;
        const size_t offset = gen() % (noise.size() - size);
        const int fd = ::open((rootBytes + '/' + relative).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, noise.data() + offset, size) != static_cast<ssize_t>(size) ||
            ::close(fd) != 0)
            qFatal("cannot write %s/%s", rootBytes.constData(), relative.constData());
    }
    std::printf("  (made %d files in %.1f s)\n", files, timer.elapsed() / 1000.0);
    std::fflush(stdout);
}

// The tree again under to, by hard links where both are on one file system, by copies otherwise.
void LinkTree(const QString& from, const QString& to, int files) {
    const QByteArray fromBytes = QFile::encodeName(from);
    const QByteArray toBytes = QFile::encodeName(to);
    ::mkdir(toBytes.constData(), 0755);
    for (int n = 0; n < files; ++n) {
        const QByteArray relative = RelativePath(n, files);
        MakeFoldersFor(toBytes, relative, n, files);
        const QByteArray source = fromBytes + '/' + relative;
        const QByteArray target = toBytes + '/' + relative;
        if (::link(source.constData(), target.constData()) != 0 &&
            (errno != EXDEV || !QFile::copy(QFile::decodeName(source), QFile::decodeName(target))))
            qFatal("cannot put %s on the server", relative.constData());
    }
}

// One profile mirroring local to base on the server, and the ledger, below home.
struct Mirror {
    QString home;
    QString local;
    QString ftpDir;  // as the profile's FtpDir holds it: no scheme

    Mirror(const QString& folder, const FtpTestServer& server, const QString& base)
        : home(folder), local(folder + QStringLiteral("/tree")), ftpDir(server.FtpDir(base)) {
        const QString dir = folder + QStringLiteral("/data/SkerrowEx");
        QDir().mkpath(dir);
        const QByteArray line =
            QStringList{QStringLiteral("True"), local,
                        QStringLiteral("2"),    QStringLiteral("ftp://") + ftpDir,
                        server.User(),          server.Password()}
                .join(QLatin1Char('\t'))
                .toUtf8();
        QFile f(dir + QStringLiteral("/SkerrowEx.dat"));
        if (!f.open(QIODevice::WriteOnly) || f.write(line + "\r\n\r\n") != line.size() + 4)
            qFatal("cannot write the profile");
    }

    QString LedgerPath() const { return home + QStringLiteral("/data/SkerrowEx/SkerrowEx.db"); }

    Usage Run(const QStringList& args = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        return RunMeasured(RunnerPath(), args, env);
    }
};

void PrintRun(const char* what, const Usage& u) {
    std::printf("  %-34s %8.2f s %8.1f MiB peak\n", what, u.seconds, u.peakMiB);
    std::fflush(stdout);
}

// Mean microseconds of kLookups lookups of random files of the tree in its ledger.
double MicrosPerLookup(const Mirror& mirror, int files) {
    clsAdoJet db;
    QString error;
    if (!db.Connect(mirror.LedgerPath(), clsAdoJet::JetProvider(), &error))
        qFatal("cannot open the ledger: %s", qPrintable(error));
    const QString target = UploadLedger::TargetOf(mirror.ftpDir);
    std::mt19937 gen(42);
    QStringList paths;
    for (int i = 0; i < kLookups; ++i)
        paths << mirror.local + QLatin1Char('/') +
                     QString::fromLatin1(RelativePath(static_cast<int>(gen() % files), files));
    int missing = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : paths) {
        UploadLedger::PutRecord recorded;
        missing += UploadLedger::GetPutFileDate(db, {path, target}, &recorded) ? 0 : 1;
    }
    const double micros = static_cast<double>(timer.nsecsElapsed()) / 1e3 / kLookups;
    if (missing > 0)
        std::printf("  warning: %d of %d files have no row\n", missing, kLookups);
    return micros;
}

void PrintLedger(const Mirror& mirror, int files) {
    const qint64 bytes = QFileInfo(mirror.LedgerPath()).size();
    std::printf("  ledger %-27s %8.1f MiB, %.0f bytes a row\n", "SkerrowEx.db",
                static_cast<double>(bytes) / (1024 * 1024), static_cast<double>(bytes) / files);
    std::printf("  lookup at %d rows %14.2f us (mean of %d)\n", files,
                MicrosPerLookup(mirror, files), kLookups);
}

// The server's own share of a rerun: its recursive listing of the tree, taken by our client alone.
double ListingSeconds(const FtpTestServer& server, const QString& base) {
    QuietFtpHost host;
    FtpClient client(host);
    Typ_Profile profile;
    profile.FtpDir = server.FtpDir(base);
    profile.Account = server.User();
    profile.Passwd = server.Password();
    QElapsedTimer timer;
    timer.start();
    if (!client.ConnectFtp(profile))
        qFatal("cannot list %s", qPrintable(base));
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    client.FtpQuit();
    return seconds;
}

// A tree with its profile and ledger, and the no-change reruns measured of it.
struct Tree {
    QTemporaryDir home;
    Mirror mirror;
    int files;
    QVector<Usage> reruns;

    Tree(const FtpTestServer& server, const QString& base, int count)
        : mirror(home.path(), server, base), files(count) {
        MakeTree(mirror.local, files);
    }

    double MedianSeconds() const {
        QVector<double> seconds;
        for (const Usage& u : reruns)
            seconds.append(u.seconds);
        std::sort(seconds.begin(), seconds.end());
        return seconds.at(seconds.size() / 2);
    }
    double PeakMiB() const {
        double peak = 0;
        for (const Usage& u : reruns)
            peak = std::max(peak, u.peakMiB);
        return peak;
    }
};

// The small tree: a real first upload.
void UploadSmall(Tree& tree) {
    std::printf("%d files in %d folders, uploaded\n", tree.files, tree.files / kFilesPerFolder);
    PrintRun("first upload", tree.mirror.Run());
}

// The large tree: on the server by hard links, its ledger filled by reading it without sending:
// one run, which must end cleanly however long it says nothing to the server.
void InvestigateLarge(const FtpTestServer& server, Tree& tree) {
    std::printf("%d files in %d folders, put on the server and investigated\n", tree.files,
                tree.files / kFilesPerFolder);
    const QString onServer = server.RootDir() + QStringLiteral("/large");
    LinkTree(tree.mirror.local, onServer, tree.files);
    if (!server.HandOver(onServer))
        qFatal("cannot hand the tree over to the server's account");
    PrintRun("investigating (no goal)", tree.mirror.Run({QStringLiteral("--investigate")}));
}

void PrintReruns(const Tree& tree) {
    std::printf("%d files: no-change rerun, median of %lld: %8.2f s %8.1f MiB peak\n", tree.files,
                static_cast<long long>(tree.reruns.size()), tree.MedianSeconds(), tree.PeakMiB());
    std::printf("  each:");
    for (const Usage& u : tree.reruns)
        std::printf(" %.2f", u.seconds);
    std::printf(" s\n");
    PrintLedger(tree.mirror, tree.files);
}

void PrintGoals(const FtpTestServer& server, const Tree& small, const Tree& large) {
    std::printf("  peak RSS %.1f MiB (goal <= %.0f) %s\n", large.PeakMiB(), kPeakGoalMiB,
                Verdict(large.PeakMiB() <= kPeakGoalMiB));
    const double ratio = large.MedianSeconds() / small.MedianSeconds();
    std::printf("  rerun %d / rerun %d: %.2f (goal <= %.0f) %s\n", large.files, small.files, ratio,
                kRerunRatioGoal, Verdict(ratio <= kRerunRatioGoal));
    const double smallListing = ListingSeconds(server, QStringLiteral("/small"));
    const double largeListing = ListingSeconds(server, QStringLiteral("/large"));
    std::printf("  the server's listing alone: %.2f s and %.2f s; the reruns without it: %.2f\n",
                smallListing, largeListing,
                (large.MedianSeconds() - largeListing) / (small.MedianSeconds() - smallListing));
}

// Bytes the remote listing holds for each of the tree's paths.
void PrintListingSize(int files) {
    RemoteListing listing;
    for (int n = 0; n < files; ++n)
        listing.Add(QStringLiteral("/large/") + QString::fromLatin1(RelativePath(n, files)));
    std::printf("  remote listing of %lld paths: %.1f bytes a path\n",
                static_cast<long long>(listing.Size()),
                static_cast<double>(listing.MemoryBytes()) / static_cast<double>(listing.Size()));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1;
    const int smallCount = quick ? std::atoi(argv[1]) : 100'000;
    const int largeCount = 1'000'000;
    if (smallCount < kTopFolders * kFilesPerFolder ||
        smallCount % (kTopFolders * kFilesPerFolder) != 0) {
        std::fprintf(stderr, "usage: million_bench [files, a multiple of %d]\n",
                     kTopFolders * kFilesPerFolder);
        return 2;
    }
    FtpTestServer server;
    QString why;
    if (!server.Start(FtpServerKind::VsftpdRecursive, &why))
        qFatal("vsftpd: %s", qPrintable(why));
    Tree small(server, QStringLiteral("/small"), smallCount);
    UploadSmall(small);
    std::unique_ptr<Tree> large;
    if (!quick) {
        large = std::make_unique<Tree>(server, QStringLiteral("/large"), largeCount);
        InvestigateLarge(server, *large);
    }
    for (int i = 0; i < kReruns; ++i) {
        small.reruns.append(small.mirror.Run());
        if (large)
            large->reruns.append(large->mirror.Run());
    }
    PrintReruns(small);
    if (large) {
        PrintReruns(*large);
        PrintGoals(server, small, *large);
        PrintListingSize(largeCount);
    }
    return 0;
}
