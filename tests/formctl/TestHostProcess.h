#pragma once

#include <QProcess>
#include <QStringList>

#include "UserEnvironment.h"

// One run of DunvorelTestHost, offscreen, with its files and its link sockets in a folder of the
// test's choosing, so that instances started by one test meet each other and nothing else.
class TestHostProcess {
public:
    TestHostProcess(const QString& home, const QStringList& switches, const QStringList& args = {},
                    const QString& program = QStringLiteral(DUNVOREL_TEST_HOST)) {
        QProcessEnvironment env = UserEnvironment(home);
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
