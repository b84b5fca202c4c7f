// The built program, terminated by a signal, ends at once and leaves its files as they were.
#include <gtest/gtest.h>

#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// True once the process has a handler for signo (the "SigCgt" mask of /proc/<pid>/status).
bool Catches(qint64 pid, int signo) {
    for (const QByteArray& line : ReadAll(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signo - 1)) & 1;
    }
    return false;
}

TEST(Program, TerminationSignalsSaveNothing) {
    for (const int signo : {SIGTERM, SIGHUP}) {
        QTemporaryDir home;
        const QString folder = home.filePath("data/SkerrowEx");
        ASSERT_TRUE(QDir().mkpath(folder));
        // LF alone and a seventh field: any save would rewrite these bytes.
        const QByteArray profiles = "True\t/a\t5\tftp://h\tu\tp\textra\n";
        const QString dat = folder + "/SkerrowEx.dat";
        {
            QFile f(dat);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(profiles);
        }
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", home.path());
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(SKERROWEX_EXE), {});
        ASSERT_TRUE(program.waitForStarted());
        for (int i = 0; i < 600 && !Catches(program.processId(), signo); ++i)
            ASSERT_FALSE(program.waitForFinished(50)) << program.readAllStandardError().data();
        ASSERT_TRUE(Catches(program.processId(), signo));
        ::kill(static_cast<pid_t>(program.processId()), signo);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signo;
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_EQ(ReadAll(dat), profiles);
        EXPECT_FALSE(QFile::exists(folder + "/SkerrowEx.ini"));
    }
}

}  // namespace
