// The run log and the command log as files on disk.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include "AppFiles.h"
#include "Fun_Error_Success.h"
#include "TextFile.h"
#include "clsAppLog.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(RunLog, LinesCarryTimestampAndOneBlankPerItem) {
    Fun_Error_Success::KillLog();
    Fun_Error_Success::KillLog();  // a missing file is no error
    EXPECT_EQ(Fun_Error_Success::GetLogPath(), AppFiles::AppFilePath(".log"));
    const QDateTime before = QDateTime::currentDateTime();
    ASSERT_TRUE(Fun_Error_Success::WriteLog(QStringLiteral("START")));
    ASSERT_TRUE(Fun_Error_Success::WriteLog(
        QStringLiteral("SUCCESS - FILE COPYED \t/home/u/my dir/a b.txt [to] /base/a b.txt")));
    ASSERT_TRUE(Fun_Error_Success::WriteLog(QStringList({"a", "b"})));
    const QDateTime after = QDateTime::currentDateTime();

    const QByteArray bytes = ReadAll(Fun_Error_Success::GetLogPath());
    EXPECT_EQ(bytes.count("\r\n"), 3);
    QStringList lines;
    ASSERT_TRUE(TextFile::ReadLines(Fun_Error_Success::GetLogPath(), &lines));
    ASSERT_EQ(lines.size(), 3);
    const QRegularExpression stamp(
        QStringLiteral("^(\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2}) "));
    const QStringList items = {
        "START", "SUCCESS - FILE COPYED \t/home/u/my dir/a b.txt [to] /base/a b.txt", "a b"};
    for (int i = 0; i < 3; ++i) {
        const QRegularExpressionMatch match = stamp.match(lines[i]);
        ASSERT_TRUE(match.hasMatch()) << lines[i].toStdString();
        const QDateTime when =
            QDateTime::fromString(match.captured(1), QStringLiteral("yyyy/MM/dd H:mm:ss"));
        EXPECT_GE(when.toSecsSinceEpoch(), before.toSecsSinceEpoch());
        EXPECT_LE(when.toSecsSinceEpoch(), after.toSecsSinceEpoch());
        EXPECT_EQ(lines[i].mid(match.capturedLength()), items[i]);
    }
    Fun_Error_Success::KillLog();
    EXPECT_FALSE(QFile::exists(Fun_Error_Success::GetLogPath()));
}

TEST(CommandLog, SetUpOfARunGivesPlainLinesBesideTheRunLog) {
    clsAppLog log;
    EXPECT_EQ(log.Path(), Fun_Error_Success::GetLogPath());  // read on a fresh object
    log.PlainMode(1);
    log.Path(log.Path() + ".sys.log");
    EXPECT_EQ(log.Path(), AppFiles::AppFilePath(".log.sys.log"));
    log.ClearLog();
    log.ClearLog();
    ASSERT_TRUE(log.Logging(QStringLiteral("PASS *****")));
    ASSERT_TRUE(log.Logging(QStringList({"226 Transfer complete>>", "x"})));
    EXPECT_EQ(ReadAll(log.Path()), "PASS *****\r\n226 Transfer complete>>x\r\n");

    clsAppLog stamped;
    stamped.Path(log.Path());
    ASSERT_TRUE(stamped.Logging(QStringList({"a", "b"})));
    QStringList lines;
    ASSERT_TRUE(TextFile::ReadLines(log.Path(), &lines));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2} a b$"))
            .match(lines[2])
            .hasMatch())
        << lines[2].toStdString();
    log.ClearLog();
    EXPECT_FALSE(QFile::exists(log.Path()));
}

// Before a run empties the logs, the last pair becomes .1 and older pairs move up to the number
// kept; a number stands for one run in both files, also when a run left no command log.
TEST(RunLog, EarlierPairsAreKeptUpToTheirNumber) {
    const QString runLog = Fun_Error_Success::GetLogPath();
    const QString commandLog = runLog + ".sys.log";
    const auto numbered = [](const QString& log, int n) { return log + '.' + QString::number(n); };
    const auto clear = [&] {
        for (const QString& log : {runLog, commandLog}) {
            for (int n = 0; n <= 6; ++n)
                QFile::remove(n == 0 ? log : numbered(log, n));
        }
    };
    clear();
    for (const int keep : {5, 1, 0}) {
        SCOPED_TRACE(keep);
        for (int run = 1; run <= 7; ++run) {
            Fun_Error_Success::KeepEarlierLogs(keep);
            QFile::remove(runLog);
            QFile::remove(commandLog);
            ASSERT_TRUE(Fun_Error_Success::WriteLog(QStringLiteral("run %1").arg(run)));
            // Run 3 wrote no command log.
            if (run != 3) {
                ASSERT_TRUE(TextFile::AppendLine(commandLog, QStringLiteral("cmd %1").arg(run)));
            }
        }
        for (int n = 1; n <= 6; ++n) {
            const bool kept = n <= keep;
            EXPECT_EQ(ReadAll(numbered(runLog, n))
                          .contains(QByteArray("run ") + QByteArray::number(7 - n)),
                      kept)
                << n;
            EXPECT_EQ(QFile::exists(numbered(commandLog, n)), kept && 7 - n != 3) << n;
        }
        EXPECT_TRUE(ReadAll(runLog).contains("run 7"));
        clear();
    }
}
