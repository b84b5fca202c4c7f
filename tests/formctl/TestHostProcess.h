#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

// One run of DunvorelTestHost, offscreen, with its files and its link sockets in a folder of the
// test's choosing, so that instances started by one test meet each other and nothing else.
class TestHostProcess {
public:
    TestHostProcess(const QString& home, const QStringList& switches, const QStringList& args = {},
                    const QString& program = QStringLiteral(DUNVOREL_TEST_HOST)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        // Qt takes a runtime folder that is not private (0700) for none, and falls back to one
        // that all tests share, where the instances of parallel tests would meet.
        QDir().mkpath(home + QStringLiteral("/run"));
        QFile::setPermissions(home + QStringLiteral("/run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const QString& name : switches)
            env.insert(name, QStringLiteral("1"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, args);
    }
    ~TestHostProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    // Waits, at most timeoutMs, for a line that begins with prefix; the lines read so far are
    // kept in lines.
    bool WaitForLine(const QString& prefix, int timeoutMs = 30000) {
        for (int waited = 0; waited <= timeoutMs; waited += 100) {
            while (process.canReadLine())
                lines.append(QString::fromUtf8(process.readLine()).chopped(1));
            for (const QString& line : lines) {
                if (line.startsWith(prefix))
                    return true;
            }
            if (process.state() == QProcess::NotRunning && !process.canReadLine())
                return false;
            process.waitForReadyRead(100);
        }
        return false;
    }

    QStringList LinesStartingWith(const QString& prefix) const {
        QStringList found;
        for (const QString& line : lines) {
            if (line.startsWith(prefix))
                found.append(line);
        }
        return found;
    }

    QProcess process;
    QStringList lines;
};
