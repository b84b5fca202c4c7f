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
