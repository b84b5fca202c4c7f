// The built headless runner as cron meets it: exit statuses, options, the run lock across
// processes, Ctrl-C and kill -9, against a scripted server in this test's own event loop.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "API_IniFileAccess.h"
#include "ProfileFile.h"
#include "QtPrint.h"
#include "TextFile.h"
#include "VirtualFtpServer.h"

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

class Runner : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Listen());
        server.AddFolder(QStringLiteral("/www"));
        local = home.filePath(QStringLiteral("local"));
        data = home.filePath(QStringLiteral("data/SkerrowEx"));
        ASSERT_TRUE(QDir().mkpath(local));
        ASSERT_TRUE(QDir().mkpath(data));
    }

    QString DataFile(const QString& suffix) const {
        return data + QStringLiteral("/SkerrowEx") + suffix;
    }

    void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // One profile line per (ticked, FTP address) to the local folder.
    void WriteProfiles(const QList<QPair<bool, QString>>& profiles) {
        QList<ProfileRow> rows;
        for (const auto& [ticked, address] : profiles)
            rows.append({ticked, local, QStringLiteral("2"), QStringLiteral("ftp://") + address,
                         QStringLiteral("user"), QStringLiteral("pw")});
        QString error;
        ASSERT_TRUE(ProfileFile::Save(DataFile(QStringLiteral(".dat")), rows, &error))
            << error.toStdString();
    }

    std::unique_ptr<QProcess> Start(const QStringList& args = {}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(SKERROWEX_RUN_PATH), args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }

    // Lets this thread's server work until the condition holds or the time is up.
    static bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
        const QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done();
    }

    Result Finish(QProcess& p, int ms = 60000) {
        Result r;
        if (!WaitFor([&] { return p.state() == QProcess::NotRunning; }, ms)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "skerrowex-run did not finish";
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    Result Run(const QStringList& args = {}) { return Finish(*Start(args)); }

    // The run log's items without their timestamps.
    QStringList Log() const {
        QStringList lines;
        TextFile::ReadLines(DataFile(QStringLiteral(".log")), &lines);
        for (QString& line : lines)
            line = line.section(QLatin1Char(' '), 2);
        return lines;
    }

    QTemporaryDir home;
    QString local;
    QString data;
    VirtualFtpServer server;
};

// The status comes from this run's own outcome; a run that wrote no log names none.
TEST_F(Runner, ExitStatusTellsHowTheRunEnded) {
    WriteFile(local + QStringLiteral("/a.txt"), "a");
    VirtualFtpServer refusing;  // takes no PORT: every file fails
    ASSERT_TRUE(refusing.Listen());
    refusing.AddFolder(QStringLiteral("/www"));
    refusing.On("PORT", [&](const QByteArray&) { refusing.Send("500 Illegal PORT.\r\n"); });
    const QString site = server.HostPort() + QStringLiteral("/www");
    const QString logPath = DataFile(QStringLiteral(".log")) + u'\n';
    // A folder in the place of the ledger or of the run log makes it unusable.
    const struct {
        QList<QPair<bool, QString>> profiles;
        QStringList args;
        const char* unusable;
        int status;
        QString out;
        QString err;  // a part of stderr
    } cases[] = {
        {{{true, site}}, {}, "", 0, logPath, "profile 1: "},
        {{{true, refusing.HostPort() + "/www"}}, {}, "", 3, logPath, "1 err"},
        // An old run log that ends with "END" says nothing about this run.
        {{{true, site}}, {}, ".db", 1, "", "ＤＢ起動失敗"},
        {{{true, site}}, {}, ".log", 1, "", "実行ログに書き込めないため、処理を中止しました。"},
        {{{false, site}}, {}, "", 1, "", "No profile is ticked in " + DataFile(".dat")},
        {{{true, "127.0.0.1:1/www"}, {false, site}},
         {"--profile", "2"},
         "",
         0,
         logPath,
         "profile 2: "},
        {{{true, site}}, {"--profile", "3"}, "", 2, "", "no profile 3"},
        {{{true, site}}, {"--bogus"}, "", 2, "", "usage: skerrowex-run"},
        {{}, {"--version"}, "", 0, "skerrowex-run (SkerrowEx) " SKERROWEX_VERSION "\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString() + " " + c.err.toStdString());
        WriteProfiles(c.profiles);
        server.RemoveFile(QStringLiteral("/www/a.txt"));
        QFile::remove(DataFile(QStringLiteral(".db")));
        const QString unusable = DataFile(QString::fromLatin1(c.unusable));
        if (*c.unusable) {
            QFile::remove(DataFile(QStringLiteral(".log")));
            WriteFile(DataFile(QStringLiteral(".log")), "2026/01/01 1:00:00 END (5 copies)\r\n");
            QFile::remove(unusable);
            ASSERT_TRUE(QDir().mkpath(unusable));
        }
        const Result r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.status) << r.err.toStdString();
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
        if (*c.unusable)
            QDir(unusable).removeRecursively();
    }
    const Result help = Run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const QString& part : {QStringLiteral("--profile N"), QStringLiteral("Exit status:"),
                                DataFile(QStringLiteral(".db")), DataFile(QStringLiteral(".lock"))})
        EXPECT_TRUE(help.out.contains(part)) << part.toStdString();
}

// Into a pipe, a line as the profile starts and one as it ends, however long the run; --progress
// keeps a status line even there, --quiet says nothing of a run that went well, and --list shows
// the positions --profile takes, never a password.
TEST_F(Runner, OutputDoesNotGrowWithTheRunAndListNamesThePositions) {
    WriteProfiles({{true, server.HostPort() + QStringLiteral("/www")}, {false, "example.org/x"}});
    WriteFile(local + QStringLiteral("/a.txt"), "a");
    const Result quick = Run();
    EXPECT_EQ(quick.exitCode, 0);
    // A server that takes 1.25 MB a second: some seconds of sending.
    WriteFile(local + QStringLiteral("/big.bin"), QByteArray(3 << 20, 'b'));
    server.SetDataReadRate(128 * 1024, 100);
    const Result slow = Run();
    EXPECT_EQ(slow.exitCode, 0);
    EXPECT_EQ(slow.err.count(u'\n'), 2) << slow.err.toStdString();
    EXPECT_EQ(quick.err.count(u'\n'), 2) << quick.err.toStdString();
    EXPECT_TRUE(slow.err.contains(QStringLiteral("profile 1: 2 files, 1 copies, 0 err, ")))
        << slow.err.toStdString();
    EXPECT_FALSE(slow.err.contains(u'\r'));

    server.RemoveFile(QStringLiteral("/www/big.bin"));
    const Result shown = Run({QStringLiteral("--progress")});
    EXPECT_TRUE(shown.err.contains(u'\r') && shown.err.contains(QStringLiteral("| big.bin ")) &&
                shown.err.contains(QStringLiteral("% ")) &&
                shown.err.contains(QStringLiteral("B/s")))
        << shown.err.toStdString();

    const Result quiet = Run({QStringLiteral("--quiet")});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out + quiet.err, QString());

    const Result list = Run({QStringLiteral("--list")});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, QStringLiteral("1 [x] %1 -> ftp://%2/www (user)\n"
                                       "2 [ ] %1 -> ftp://example.org/x (user)\n")
                            .arg(local, server.HostPort()));
}

// Killed in the middle of sending again a file that has a row (the server stalls, so the kill
// lands mid-file): the part left on the server is sent again by the next run.
TEST_F(Runner, KillDuringAResendLeavesNoRowThatVouchesForThePart) {
    QByteArray bytes(32 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    WriteFile(local + QStringLiteral("/big.bin"), bytes);
    WriteProfiles({{true, server.HostPort() + QStringLiteral("/www")}});
    ASSERT_EQ(Run().exitCode, 0);
    ASSERT_EQ(server.File(QStringLiteral("/www/big.bin")), bytes);

    server.RemoveFile(QStringLiteral("/www/big.bin"));
    server.stallDataAfter = 64 * 1024;
    std::unique_ptr<QProcess> p = Start();
    server.OnStall = [&] { p->kill(); };
    EXPECT_EQ(Finish(*p).exitCode, -1);
    server.ResumeData();
    ASSERT_TRUE(WaitFor([&] { return server.HasFile(QStringLiteral("/www/big.bin")); }));
    ASSERT_LT(server.File(QStringLiteral("/www/big.bin")).size(), bytes.size());

    const Result again = Run();
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(Log().last(), QStringLiteral("END (1 copies)"));
    EXPECT_TRUE(server.File(QStringLiteral("/www/big.bin")) == bytes);
}

// One run at a time per user, across processes. A server that accepts and never answers holds
// the first run in its login; a second run refuses at once. Ctrl-C twice ends the first at once,
// so does a hang-up, and a run killed outright leaves no lock behind.
TEST_F(Runner, TheRunLockHoldsAcrossProcessesAndCtrlCTwiceStopsALogin) {
    ASSERT_TRUE(API_IniFileAccess::IniWrite(QStringLiteral("Setting"), QStringLiteral("600"),
                                            QStringLiteral("ReplyTimeoutSec"),
                                            DataFile(QStringLiteral(".ini"))));
    WriteProfiles({{true, server.HostPort() + QStringLiteral("/www")}});
    server.SetBanner({});
    QString firstErr;
    std::unique_ptr<QProcess> first = Start();
    ASSERT_TRUE(WaitFor([&] {
        firstErr += QString::fromUtf8(first->readAllStandardError());
        return firstErr.contains(QStringLiteral("profile 1: ")) && server.Connections() == 1;
    }));

    const Result second = Run();
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.out, QString());
    EXPECT_TRUE(second.err.contains(
        QStringLiteral("別の実行（プロセス ID %1）が終わっていません").arg(first->processId())))
        << second.err.toStdString();

    ::kill(static_cast<pid_t>(first->processId()), SIGINT);
    ASSERT_TRUE(WaitFor([&] {
        firstErr += QString::fromUtf8(first->readAllStandardError());
        return firstErr.contains(QStringLiteral("Ctrl-C again"));
    }));
    ::kill(static_cast<pid_t>(first->processId()), SIGINT);
    // Far within the reply time limit of 600 s: the stop ended the wait, not the watchdog.
    const Result stopped = Finish(*first, 30000);
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_EQ(Log(), (QStringList{QStringLiteral("START"), QStringLiteral("USER QUIT")}));

    // A hang-up ends a run at once, as SIGTERM does.
    std::unique_ptr<QProcess> hungUp = Start();
    ASSERT_TRUE(WaitFor([&] { return server.Connections() == 2; }));
    ::kill(static_cast<pid_t>(hungUp->processId()), SIGHUP);
    EXPECT_EQ(Finish(*hungUp, 30000).exitCode, 1);
    EXPECT_EQ(Log(), (QStringList{QStringLiteral("START"), QStringLiteral("USER QUIT")}));

    std::unique_ptr<QProcess> killed = Start();
    ASSERT_TRUE(WaitFor([&] { return server.Connections() == 3; }));
    killed->kill();
    Finish(*killed);
    server.SetBanner({"220 Ready.\r\n"});
    EXPECT_EQ(Run().exitCode, 0);
}

}  // namespace
