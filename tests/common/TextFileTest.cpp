#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TextFile.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(TextFile, ReadLinesAcceptsCrLfLfAndMissingLastLineEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.txt"));
    QStringList lines;

    WriteRaw(path, "a\r\nb\nc");
    ASSERT_TRUE(TextFile::ReadLines(path, &lines));
    EXPECT_EQ(lines, (QStringList{"a", "b", "c"}));

    WriteRaw(path, "a\r\n\r\n");
    ASSERT_TRUE(TextFile::ReadLines(path, &lines));
    EXPECT_EQ(lines, (QStringList{"a", ""}));

    // A CR that is not before LF belongs to the text.
    WriteRaw(path, "a\rb\r\n");
    ASSERT_TRUE(TextFile::ReadLines(path, &lines));
    EXPECT_EQ(lines, (QStringList{"a\rb"}));

    EXPECT_FALSE(TextFile::ReadLines(dir.filePath(QStringLiteral("missing")), &lines));
    EXPECT_FALSE(TextFile::ReadLines(dir.path(), &lines));
}

TEST(TextFile, AppendLineCreatesAndAppendsWithCrLf) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log"));
    ASSERT_TRUE(TextFile::AppendLine(path, QStringLiteral("one")));
    ASSERT_TRUE(TextFile::AppendLine(path, QStringLiteral("two\tx")));
    EXPECT_EQ(ReadAll(path), QByteArray("one\r\ntwo\tx\r\n"));
    QString error;
    EXPECT_FALSE(TextFile::AppendLine(dir.filePath(QStringLiteral("no/such/dir/f")),
                                      QStringLiteral("x"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(TextFile, WriteAtomicReplacesWithModeAndFailsCleanly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.dat"));
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    ASSERT_TRUE(TextFile::WriteAtomic(path, "first", mode));
    ASSERT_TRUE(TextFile::WriteAtomic(path, "second", mode));
    EXPECT_EQ(ReadAll(path), QByteArray("second"));
    const auto perms = QFile::permissions(path);
    EXPECT_TRUE(perms.testFlags(mode));
    EXPECT_FALSE(perms & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                          QFileDevice::ReadOther | QFileDevice::WriteOther));
    // Only the target remains: no temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.dat"});

    QString error;
    EXPECT_FALSE(
        TextFile::WriteAtomic(dir.filePath(QStringLiteral("none/p.dat")), "x", mode, &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
