#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ctime>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "AppFiles.h"
#include "QtPrint.h"
#include "UploadLedger.h"

using namespace UploadLedger;

namespace {

const QString kJet = clsAdoJet::JetProvider();

// A real file with the given modification time (seconds since the epoch).
QString MakeFile(const QTemporaryDir& dir, const QString& name, qint64 mtime) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
    f.flush();
    EXPECT_TRUE(
        f.setFileTime(QDateTime::fromSecsSinceEpoch(mtime), QFileDevice::FileModificationTime));
    return path;
}

struct Row {
    qint64 id = 0;
    QString local, date, remote;
};

QVector<Row> Rows(clsAdoJet& db) {
    AdoRecordset rds;
    EXPECT_TRUE(db.Execute(QStringLiteral("select * from T_PUT_FILE order by i_id_file"), &rds));
    QVector<Row> rows;
    for (; !rds.EOF_(); rds.MoveNext()) {
        rows.append({rds.Field("i_id_file").toLongLong(), rds.Field("c_local_file_name").toString(),
                     rds.Field("dt_local_file_date").toString(),
                     rds.Field("c_remote_file_name").toString()});
    }
    return rows;
}

qint64 Recorded(clsAdoJet& db, const QString& path) {
    QDateTime t;
    return GetPutFileDate(db, path, &t) ? t.toSecsSinceEpoch() : -1;
}

class UploadLedgerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.Connect(LedgerPath(), kJet)); }
    QTemporaryDir dir;
    clsAdoJet db;
};

TEST_F(UploadLedgerTest, LedgerLivesInTheApplicationFolder) {
    EXPECT_EQ(LedgerPath(), AppFiles::AppFolder() + QStringLiteral("/SkerrowEx.db"));
    EXPECT_TRUE(QFile::exists(LedgerPath()));
}

TEST_F(UploadLedgerTest, FirstIdIsOneAndRecordingAgainKeepsTheId) {
    const QString a = MakeFile(dir, "a.txt", 1'700'000'000);
    const QString b = MakeFile(dir, "b.txt", 1'700'000'100);
    EXPECT_EQ(Recorded(db, a), -1);
    ASSERT_TRUE(RecordPutFile(db, a, "/www/a.txt"));
    ASSERT_TRUE(RecordPutFile(db, b, "/www/b.txt"));
    EXPECT_EQ(Recorded(db, a), 1'700'000'000);

    MakeFile(dir, "a.txt", 1'700'000'500);
    ASSERT_TRUE(RecordPutFile(db, a, "/www/new/a.txt"));
    const QVector<Row> rows = Rows(db);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].id, 1);
    EXPECT_EQ(rows[0].local, a);
    EXPECT_EQ(rows[0].remote, "/www/new/a.txt");
    EXPECT_EQ(rows[1].id, 2);
    EXPECT_EQ(Recorded(db, a), 1'700'000'500);
    EXPECT_EQ(Recorded(db, b), 1'700'000'100);
}

TEST_F(UploadLedgerTest, CaseVariantsAndQuoteBearingPathsAreTheirOwnRows) {
    const QStringList names = {
        "A.txt",         "a.txt",  "it's.txt",     "'; drop table T_PUT_FILE; --",
        "back\\slash''", "100%_x", " ソース 表示 "};
    qint64 mtime = 1'600'000'000;
    for (const QString& name : names)
        ASSERT_TRUE(RecordPutFile(db, MakeFile(dir, name, ++mtime), "/www/" + name));
    ASSERT_EQ(Rows(db).size(), names.size());
    mtime = 1'600'000'000;
    for (const QString& name : names)
        EXPECT_EQ(Recorded(db, dir.filePath(name)), ++mtime) << name.toStdString();
    EXPECT_EQ(Recorded(db, dir.filePath("A.TXT")), -1);
    EXPECT_EQ(Recorded(db, dir.filePath("100%_")), -1);
    EXPECT_EQ(Recorded(db, dir.filePath("ソース 表示")), -1);
}

TEST_F(UploadLedgerTest, TimeIsStoredAsReadableInstantThatSurvivesAZoneChange) {
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "JST-9");
    tzset();
    const QString a = MakeFile(dir, "a.txt", 1'796'601'907);  // 2026-12-07 00:05:07 UTC
    ASSERT_TRUE(RecordPutFile(db, a, "/a"));
    EXPECT_EQ(Rows(db).value(0).date, "2026-12-07 09:05:07+09:00");

    // The clock moves to New York (with daylight saving time): the file has not changed.
    qputenv("TZ", "EST5EDT,M3.2.0,M11.1.0");
    tzset();
    QDateTime recorded, current;
    ASSERT_TRUE(GetPutFileDate(db, a, &recorded));
    ASSERT_TRUE(LocalFileTime(a, &current));
    EXPECT_EQ(CompareRecordedTime(recorded, current, 0), DateCompare_Same);
    EXPECT_EQ(current.toString("yyyy-MM-dd HH:mm:ss"), "2026-12-06 19:05:07");
    oldTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldTz);
    tzset();
}

TEST(UploadLedger, ExistingLedgerIsReopenedWithItsRows) {
    QTemporaryDir dir;
    const QString a = MakeFile(dir, "a.txt", 1'700'000'000);
    {
        clsAdoJet db;
        ASSERT_TRUE(db.Connect(LedgerPath(), kJet));
        ASSERT_TRUE(RecordPutFile(db, a, "/a"));
    }
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(LedgerPath(), kJet));
    EXPECT_EQ(Recorded(db, a), 1'700'000'000);
    ASSERT_TRUE(RecordPutFile(db, MakeFile(dir, "b", 1), "/b"));
    EXPECT_EQ(Rows(db).value(1).id, 2);
}

TEST_F(UploadLedgerTest, FailingStatementsAreReportedAndLoseNoRow) {
    const QString a = MakeFile(dir, "a.txt", 1'700'000'000);
    ASSERT_TRUE(RecordPutFile(db, a, "/a"));
    MakeFile(dir, "a.txt", 1'700'009'999);
    QString error;

    // Read-only connection.
    ASSERT_TRUE(db.Execute(QStringLiteral("PRAGMA query_only=ON"), nullptr));
    EXPECT_FALSE(RecordPutFile(db, a, "/b", &error));
    EXPECT_TRUE(error.contains("readonly")) << error.toStdString();
    ASSERT_TRUE(db.Execute(QStringLiteral("PRAGMA query_only=OFF"), nullptr));

    // Disk full after the old row was deleted: the delete is undone with the failed insert.
    AdoRecordset pages;
    ASSERT_TRUE(db.Execute(QStringLiteral("PRAGMA page_count"), &pages));
    ASSERT_TRUE(db.Execute(
        QStringLiteral("PRAGMA max_page_count=") + pages.Field("page_count").toString(), nullptr));
    error.clear();
    EXPECT_FALSE(RecordPutFile(db, a, QString(200'000, QLatin1Char('r')), &error));
    EXPECT_TRUE(error.contains("full")) << error.toStdString();
    ASSERT_EQ(Rows(db).size(), 1);
    EXPECT_EQ(Rows(db)[0].remote, "/a");
    EXPECT_EQ(Recorded(db, a), 1'700'000'000);

    // Another program holds the write lock beyond the busy wait.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(LedgerPath()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(RecordPutFile(db, a, "/c", &error));
    EXPECT_TRUE(error.contains("locked")) << error.toStdString();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // The file went away before it could be recorded.
    EXPECT_FALSE(RecordPutFile(db, dir.filePath("gone"), "/gone", &error));
    EXPECT_FALSE(error.isEmpty());

    // Nothing was left half done: recording works again.
    ASSERT_TRUE(RecordPutFile(db, a, "/d", &error)) << error.toStdString();
    EXPECT_EQ(Rows(db)[0].id, 1);
    EXPECT_EQ(Recorded(db, a), 1'700'009'999);

    // The table dropped by hand.
    ASSERT_TRUE(db.Execute(QStringLiteral("drop table T_PUT_FILE"), nullptr));
    EXPECT_FALSE(RecordPutFile(db, a, "/e", &error));
    EXPECT_TRUE(error.contains("no such table")) << error.toStdString();
    QDateTime t;
    error.clear();
    EXPECT_FALSE(GetPutFileDate(db, a, &t, &error));
    EXPECT_TRUE(error.contains("no such table")) << error.toStdString();
}

TEST(CompareRecordedTime, ToleranceIncludesItsBoundOnBothSides) {
    const QDateTime file(QDate(2026, 3, 8), QTime(1, 30, 0, 999), Qt::OffsetFromUTC, -5 * 3600);
    const auto at = [&](int secs) { return file.addSecs(secs); };
    EXPECT_EQ(CompareRecordedTime(at(2), file, 2), DateCompare_Same);
    EXPECT_EQ(CompareRecordedTime(at(-2), file, 2), DateCompare_Same);
    EXPECT_EQ(CompareRecordedTime(at(3), file, 2), DateCompare_LedgerLater);
    EXPECT_EQ(CompareRecordedTime(at(-3), file, 2), DateCompare_Upload);
    EXPECT_EQ(CompareRecordedTime(at(1), file, 0), DateCompare_LedgerLater);
    EXPECT_EQ(CompareRecordedTime(at(-1), file, 0), DateCompare_Upload);
    // Whole seconds: the milliseconds of the file's time do not count.
    const QDateTime recorded(QDate(2026, 3, 8), QTime(1, 30, 0), Qt::OffsetFromUTC, -5 * 3600);
    EXPECT_EQ(CompareRecordedTime(recorded, file, 0), DateCompare_Same);
    // The same instant written with another offset is the same time.
    EXPECT_EQ(CompareRecordedTime(recorded.toOffsetFromUtc(9 * 3600), file, 0), DateCompare_Same);
}

}  // namespace
