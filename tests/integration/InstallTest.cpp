// The installed tree on its own: this build installed into a temporary DESTDIR, its programs run
// from there with nothing registered and nothing of the build tree; its desktop files and manual
// pages are valid; the Debian package holds what the install holds.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "FtpTestServer.h"
#include "ProfileFile.h"
#include "QtPrint.h"
#include "UserEnvironment.h"

namespace {

const QString kSourceDir = QStringLiteral(SKERROWEX_SOURCE_DIR);
const QString kBuildDir = QStringLiteral(SKERROWEX_BUILD_DIR);
const QString kLibraryDir = QStringLiteral("/usr/lib/skerrowex/");
const QString kDesktopEntry = QStringLiteral("/usr/share/applications/SkerrowEx.desktop");
const QString kMetainfo =
    QStringLiteral("/usr/share/metainfo/io.github.hobrand.SkerrowEx.metainfo.xml");
const QStringList kManualPages{QStringLiteral("/usr/share/man/man1/SkerrowEx.1.gz"),
                               QStringLiteral("/usr/share/man/man1/skerrowex-run.1.gz")};
// What a user needs from the install, wherever else it puts things.
const QStringList kNeeded = QStringList{QStringLiteral("/usr/bin/SkerrowEx"),
                                        QStringLiteral("/usr/bin/skerrowex-run"),
                                        kLibraryDir + QStringLiteral("libDunvorel.so"),
                                        kLibraryDir + QStringLiteral("libPelomir.so"),
                                        kLibraryDir + QStringLiteral("regsvr"),
                                        kDesktopEntry,
                                        QStringLiteral("/usr/share/icons/hicolor/scalable/apps/"
                                                       "SkerrowEx.svg"),
                                        kMetainfo} +
                            kManualPages;

struct ToolRun {
    int code = -1;  // -1: did not finish, or crashed
    QString out;
    QString err;
};

ToolRun RunTool(const QString& program, const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    ToolRun run;
    if (p.waitForFinished(180000) && p.exitStatus() == QProcess::NormalExit) {
        run.code = p.exitCode();
    } else {
        p.kill();
        p.waitForFinished();
    }
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path;
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The files below root, each as a path from root ("/usr/bin/SkerrowEx"), sorted.
QStringList FilesBelow(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next().mid(root.size()));
    files.sort();
    return files;
}

// The files a running process has mapped: its program, libraries and plugins.
QStringList MappedFiles(qint64 pid) {
    QStringList files;
    const QString maps = QString::fromUtf8(ReadFile(QStringLiteral("/proc/%1/maps").arg(pid)));
    for (const QString& line : maps.split(u'\n')) {
        const qsizetype slash = line.indexOf(u'/');
        if (slash >= 0 && !files.contains(line.mid(slash)))
            files.append(line.mid(slash));
    }
    return files;
}

class Installed : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dest_.isValid() && home_.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), dest_.path());
        const ToolRun run = RunTool(QStringLiteral(CMAKE_COMMAND_PATH),
                                    {QStringLiteral("--install"), kBuildDir,
                                     QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                    env);
        ASSERT_EQ(run.code, 0) << run.out << run.err;
    }

    QString Path(const QString& installed) const { return dest_.path() + installed; }

    // A user of the installed tree: nothing registered, nothing that leads into the build tree.
    QProcessEnvironment UserEnv() const {
        QProcessEnvironment env = UserEnvironment(home_.path());
        env.remove(QStringLiteral("LD_LIBRARY_PATH"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        return env;
    }

    QTemporaryDir dest_;
    QTemporaryDir home_;
};

TEST_F(Installed, RunnerMirrorsAProfile) {
    FtpTestServer server;
    QString why;
    ASSERT_TRUE(server.Start(FtpServerKind::Vsftpd, &why)) << why;
    const QString local = home_.path() + QStringLiteral("/site");
    const QStringList files{QStringLiteral("index.html"), QStringLiteral("css/style.css"),
                            QStringLiteral("画像/ロゴ.svg")};
    for (const QString& file : files)
        WriteFile(local + u'/' + file, file.toUtf8() + " body\n");
    const ProfileRow profile{
        .Checked = true,
        .LocalBaseDir = local,
        .Interval = QStringLiteral("2"),
        .FtpAddress = QStringLiteral("ftp://") + server.FtpDir(QStringLiteral("/www")),
        .Account = server.User(),
        .Passwd = server.Password()};
    WriteFile(home_.path() + QStringLiteral("/data/SkerrowEx/SkerrowEx.dat"),
              ProfileFile::Compose({profile}));

    const ToolRun run = RunTool(Path(QStringLiteral("/usr/bin/skerrowex-run")), {}, UserEnv());
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(run.out.trimmed().endsWith(QStringLiteral("/SkerrowEx.log"))) << run.out;
    for (const QString& file : files)
        EXPECT_EQ(ReadFile(server.RootDir() + QStringLiteral("/www/") + file),
                  ReadFile(local + u'/' + file))
            << file;
}

TEST_F(Installed, WindowTakesBothControlsFromTheInstalledFolder) {
    QProcess window;
    window.setProcessEnvironment(UserEnv());
    window.setWorkingDirectory(home_.path());
    window.start(Path(QStringLiteral("/usr/bin/SkerrowEx")));
    ASSERT_TRUE(window.waitForStarted());
    const QStringList controls{Path(kLibraryDir + QStringLiteral("libDunvorel.so")),
                               Path(kLibraryDir + QStringLiteral("libPelomir.so"))};
    QStringList mapped;
    for (int waited = 0; waited < 30000 && window.state() == QProcess::Running; waited += 100) {
        mapped = MappedFiles(window.processId());
        if (mapped.contains(controls[0]) && mapped.contains(controls[1]))
            break;
        QThread::msleep(100);
    }
    ASSERT_EQ(window.state(), QProcess::Running)
        << QString::fromUtf8(window.readAllStandardError());
    for (const QString& control : controls)
        EXPECT_TRUE(mapped.contains(control)) << mapped.join(u'\n');
    for (const QString& file : mapped)
        EXPECT_FALSE(file.startsWith(kSourceDir + u'/') || file.startsWith(kBuildDir + u'/'))
            << file;
    EXPECT_FALSE(QFile::exists(home_.path() + QStringLiteral("/config/componentregistry")));
    window.terminate();  // ends at once, saving nothing
    EXPECT_TRUE(window.waitForFinished(10000));

    // Whatever the installed files name as a place to load from lies in the installed tree.
    for (const QString& file : FilesBelow(dest_.path())) {
        if (!file.startsWith(QStringLiteral("/usr/bin/")) && !file.startsWith(kLibraryDir))
            continue;
        const ToolRun elf = RunTool(QStringLiteral("readelf"), {QStringLiteral("-d"), Path(file)});
        ASSERT_EQ(elf.code, 0) << file << elf.err;
        for (const QString& line : elf.out.split(u'\n')) {
            if (line.contains(QStringLiteral("(RPATH)")) ||
                line.contains(QStringLiteral("(RUNPATH)"))) {
                EXPECT_TRUE(line.contains(QStringLiteral("[$ORIGIN"))) << file << line;
            }
        }
    }
}

TEST_F(Installed, DesktopEntryMetainfoAndManualPagesAreValid) {
    for (const QString& file : kNeeded)
        EXPECT_TRUE(QFile::exists(Path(file))) << file;

    struct Check {
        QString program;
        QStringList args;
        QString locale = QStringLiteral("C.UTF-8");
    };
    QList<Check> checks{
        {QStringLiteral("desktop-file-validate"), {Path(kDesktopEntry)}},
        // Also finds the desktop entry that the metainfo names as its launchable.
        {QStringLiteral("appstreamcli"),
         {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), dest_.path()}},
    };
    // Read in a terminal that shows Japanese and in one that cannot.
    for (const QString& page : kManualPages) {
        for (const QString& locale : {QStringLiteral("C.UTF-8"), QStringLiteral("C")})
            checks.append({QStringLiteral("man"),
                           {QStringLiteral("--warnings"), QStringLiteral("-l"),
                            QStringLiteral("-Z"), Path(page)},
                           locale});
    }
    for (const Check& check : checks) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), check.locale);
        const ToolRun run = RunTool(check.program, check.args, env);
        EXPECT_EQ(run.code, 0) << check.program << run.out << run.err;
        // Warnings: on standard output from the validator, on standard error from troff.
        if (check.program != QStringLiteral("appstreamcli")) {
            EXPECT_TRUE((check.program == QStringLiteral("man") ? run.err : run.out).isEmpty())
                << check.program << ' ' << check.locale << run.out << run.err;
        }
    }

    // The menu entry starts the installed program and shows the installed icon.
    const QString entry = QString::fromUtf8(ReadFile(Path(kDesktopEntry)));
    const auto value = [&](const QString& key) {
        return QRegularExpression(QStringLiteral("^%1=(.*)$").arg(key),
                                  QRegularExpression::MultilineOption)
            .match(entry)
            .captured(1);
    };
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("/usr/bin/") + value(QStringLiteral("Exec")))));
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("/usr/share/icons/hicolor/scalable/apps/") +
                                   value(QStringLiteral("Icon")) + QStringLiteral(".svg"))));
}

TEST_F(Installed, PackageHoldsTheInstalledTreeAndItsDependencies) {
    QTemporaryDir out;
    const ToolRun pack =
        RunTool(QStringLiteral(CPACK_COMMAND_PATH),
                {QStringLiteral("--config"), kBuildDir + QStringLiteral("/CPackConfig.cmake"),
                 QStringLiteral("-B"), out.path()});
    ASSERT_EQ(pack.code, 0) << pack.out << pack.err;
    const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << debs.join(u' ');
    const QString deb = out.filePath(debs.first());

    const ToolRun contents = RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    ASSERT_EQ(contents.code, 0) << contents.err;
    QStringList files;  // "-rwxr-xr-x root/root 494864 2026-12-07 15:24 ./usr/bin/SkerrowEx"
    for (const QString& line : contents.out.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'-'))
            files.append(line.section(u' ', -1).mid(1));
    }
    files.sort();
    EXPECT_EQ(files, FilesBelow(dest_.path()));
    for (const QString& file : kNeeded)
        EXPECT_TRUE(files.contains(file)) << file;

    const ToolRun depends =
        RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")});
    for (const char* package : {"libqt6widgets6", "libqt6network6", "libsqlite3-0",
                                "fonts-ipafont-gothic", "qt6-translations-l10n"})
        EXPECT_TRUE(depends.out.contains(QLatin1String(package))) << package << depends.out;
}

}  // namespace
