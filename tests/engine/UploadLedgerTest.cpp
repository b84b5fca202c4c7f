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
const QString kTarget = QStringLiteral("ftp.example.com:21/www");

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
    QString local, date, remote, target;
};

QVector<Row> Rows(clsAdoJet& db) {
    AdoRecordset rds;
    EXPECT_TRUE(db.Execute(QStringLiteral("select * from T_PUT_FILE order by i_id_file"), &rds));
    QVector<Row> rows;
    for (; !rds.EOF_(); rds.MoveNext()) {
        rows.append({rds.Field("i_id_file").toLongLong(), rds.Field("c_local_file_name").toString(),
                     rds.Field("dt_local_file_date").toString(),
                     rds.Field("c_remote_file_name").toString(), rds.Field("c_target").toString()});
    }
    return rows;
}

LedgerKey Key(const QString& path, const QString& target = kTarget) {
    return {path, target};
}

qint64 Recorded(clsAdoJet& db, const QString& path, const QString& target = kTarget) {
    PutRecord r;
    return GetPutFileDate(db, Key(path, target), &r) ? r.modified.secs : -1;
}

FileTime At(qint64 secs, qint32 nsecs = 0, bool whole = false) {
    return {secs, nsecs, whole};
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
    ASSERT_TRUE(RecordPutFile(db, Key(a), "/www/a.txt"));
    ASSERT_TRUE(RecordPutFile(db, Key(b), "/www/b.txt"));
    EXPECT_EQ(Recorded(db, a), 1'700'000'000);

    MakeFile(dir, "a.txt", 1'700'000'500);
    ASSERT_TRUE(RecordPutFile(db, Key(a), "/www/new/a.txt"));
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
        ASSERT_TRUE(RecordPutFile(db, Key(MakeFile(dir, name, ++mtime)), "/www/" + name));
    ASSERT_EQ(Rows(db).size(), names.size());
    mtime = 1'600'000'000;
    for (const QString& name : names)
        EXPECT_EQ(Recorded(db, dir.filePath(name)), ++mtime) << name.toStdString();
    EXPECT_EQ(Recorded(db, dir.filePath("A.TXT")), -1);
    EXPECT_EQ(Recorded(db, dir.filePath("100%_")), -1);
    EXPECT_EQ(Recorded(db, dir.filePath("ソース 表示")), -1);
}

// One folder's rows read at once answer as a lookup a file does: its own files only, never a
// subfolder's, a neighbour's whose name begins alike, another target's or a pending row.
TEST_F(UploadLedgerTest, AFolderReadAtOnceHoldsExactlyItsOwnFilesRows) {
    const QString folder = dir.filePath("d") + u'/';
    const QStringList own = {"a.txt", "A.TXT", "it's.txt", "ソース 表示", "z~"};
    const QStringList others = {"d/sub/x.txt", "d0", "d-x/y.txt", "d.txt", "e/a.txt"};
    QDir().mkpath(dir.filePath("d/sub"));
    QDir().mkpath(dir.filePath("d-x"));
    QDir().mkpath(dir.filePath("e"));
    for (const QString& name : own + others) {
        const QString path = MakeFile(dir, own.contains(name) ? "d/" + name : name, 1'650'000'000);
        ASSERT_TRUE(RecordPutFile(db, Key(path), "/www/" + name));
    }
    const QString pending = MakeFile(dir, "d/pending.txt", 1'650'000'000);
    ASSERT_TRUE(RecordPutFile(db, Key(pending), "/www/pending.txt"));
    ASSERT_TRUE(MarkPending(db, Key(pending)));
    ASSERT_TRUE(RecordPutFile(db, {MakeFile(dir, "d/elsewhere.txt", 1), "other:21/www"}, "/x"));

    // Read in one pass (a folder of files only) or by keys (one with folders too).
    for (const bool onlyFiles : {true, false}) {
        QHash<QString, PutRecord> rows;
        ASSERT_TRUE(GetFolderRecords(db, folder, own + QStringList{"pending.txt", "elsewhere.txt"},
                                     onlyFiles, kTarget, &rows));
        EXPECT_EQ(QSet<QString>(rows.keyBegin(), rows.keyEnd()),
                  QSet<QString>(own.begin(), own.end()));
        for (const QString& name : own) {
            PutRecord single;
            ASSERT_TRUE(GetPutFileDate(db, Key(folder + name), &single));
            EXPECT_EQ(rows.value(name).modified.secs, single.modified.secs);
            EXPECT_EQ(rows.value(name).size, single.size);
        }
    }

    // A folder of more names than one statement takes.
    ASSERT_TRUE(
        db.Execute("with recursive n(i) as (select 1 union all select i + 1 from n where i < 1234) "
                   "insert into T_PUT_FILE(i_id_file, c_local_file_name, dt_local_file_date, "
                   "c_remote_file_name, c_target) select 100 + i, ?1 || i, "
                   "'2026-12-08 10:00:00.000000000+00:00', '/www/' || i, ?2 from n",
                   {dir.filePath("big/"), kTarget}, nullptr));
    QStringList many;
    for (int i = 0; i <= 1235; ++i)
        many.append(QString::number(i));
    for (const bool onlyFiles : {true, false}) {
        QHash<QString, PutRecord> rows;
        ASSERT_TRUE(GetFolderRecords(db, dir.filePath("big/"), many, onlyFiles, kTarget, &rows));
        EXPECT_EQ(rows.size(), 1234);
        EXPECT_TRUE(rows.contains("1") && rows.contains("1234") && !rows.contains("0"));
    }
}

TEST_F(UploadLedgerTest, TimeIsStoredAsReadableInstantThatSurvivesAZoneChange) {
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "JST-9");
    tzset();
    const QString a = MakeFile(dir, "a.txt", 1'796'601'907);  // 2026-12-07 00:05:07 UTC
    ASSERT_TRUE(RecordPutFile(db, Key(a), "/a"));
    EXPECT_EQ(Rows(db).value(0).date, "2026-12-07 09:05:07.000000000+09:00");

    // The clock moves to New York (with daylight saving time): the file has not changed.
    qputenv("TZ", "EST5EDT,M3.2.0,M11.1.0");
    tzset();
    PutRecord recorded;
    FileState current;
    ASSERT_TRUE(GetPutFileDate(db, Key(a), &recorded));
    ASSERT_TRUE(LocalFileState(a, &current));
    EXPECT_EQ(CompareRecordedTime(recorded.modified, current.modified, 0), DateCompare_Same);
    EXPECT_EQ(StoredTimeText(current.modified), "2026-12-06 19:05:07.000000000-05:00");
    oldTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldTz);
    tzset();
}

// Every instant comes back from its text in any zone; a text naming no real moment is refused.
TEST(UploadLedger, StoredTimesReadBackExactly) {
    const QByteArray oldTz = qgetenv("TZ");
    const qint64 instants[] = {0,
                               -1,
                               951'825'600,
                               951'868'799,
                               978'307'199,
                               978'307'200,
                               -2'208'988'800,
                               4'102'444'800,
                               1'796'601'907};
    for (const char* zone : {"UTC0", "JST-9", "EST5EDT,M3.2.0,M11.1.0", "IST-5:30", "NST3:30"}) {
        qputenv("TZ", zone);
        tzset();
        for (const qint64 secs : instants) {
            const QString text = StoredTimeText(At(secs, 123'456'789));
            FileTime back;
            ASSERT_TRUE(ParseStoredTime(text, &back)) << text.toStdString();
            EXPECT_EQ(back.secs, secs) << zone << ' ' << text.toStdString();
            EXPECT_EQ(back.nsecs, 123'456'789);
            EXPECT_FALSE(back.wholeSeconds);
        }
    }
    oldTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldTz);
    tzset();
    FileTime t;
    for (const char* bad :
         {"2026-02-29 10:00:00.000000000+00:00", "2026-13-01 10:00:00.000000000+00:00",
          "2026-12-08 25:00:00.000000000+00:00", "2026-12-08 10:00:00.00000000x+00:00",
          "2026-12-08 10:00:00.000000000*00:00"})
        EXPECT_FALSE(ParseStoredTime(QString::fromLatin1(bad), &t)) << bad;
    ASSERT_TRUE(ParseStoredTime("2024-02-29 23:30:00.5-01:00", &t));
    EXPECT_EQ(t.secs, 1'709'253'000);
    EXPECT_EQ(t.nsecs, 500'000'000);
}

TEST(UploadLedger, ExistingLedgerIsReopenedWithItsRows) {
    QTemporaryDir dir;
    const QString a = MakeFile(dir, "a.txt", 1'700'000'000);
    {
        clsAdoJet db;
        ASSERT_TRUE(db.Connect(LedgerPath(), kJet));
        ASSERT_TRUE(RecordPutFile(db, Key(a), "/a"));
    }
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(LedgerPath(), kJet));
    EXPECT_EQ(Recorded(db, a), 1'700'000'000);
    ASSERT_TRUE(RecordPutFile(db, Key(MakeFile(dir, "b", 1)), "/b"));
    EXPECT_EQ(Rows(db).value(1).id, 2);
}

TEST_F(UploadLedgerTest, FailingStatementsAreReportedAndLoseNoRow) {
    const QString a = MakeFile(dir, "a.txt", 1'700'000'000);
    ASSERT_TRUE(RecordPutFile(db, Key(a), "/a"));
    MakeFile(dir, "a.txt", 1'700'009'999);
    QString error;

    // Read-only connection.
    ASSERT_TRUE(db.Execute(QStringLiteral("PRAGMA query_only=ON"), nullptr));
    EXPECT_FALSE(RecordPutFile(db, Key(a), "/b", &error));
    EXPECT_TRUE(error.contains("readonly")) << error.toStdString();
    ASSERT_TRUE(db.Execute(QStringLiteral("PRAGMA query_only=OFF"), nullptr));

    // Disk full after the old row was deleted: the delete is undone with the failed insert.
    AdoRecordset pages;
    ASSERT_TRUE(db.Execute(QStringLiteral("PRAGMA page_count"), &pages));
    ASSERT_TRUE(db.Execute(
        QStringLiteral("PRAGMA max_page_count=") + pages.Field("page_count").toString(), nullptr));
    error.clear();
    EXPECT_FALSE(RecordPutFile(db, Key(a), QString(200'000, QLatin1Char('r')), &error));
    EXPECT_TRUE(error.contains("full")) << error.toStdString();
    ASSERT_EQ(Rows(db).size(), 1);
    EXPECT_EQ(Rows(db)[0].remote, "/a");
    EXPECT_EQ(Recorded(db, a), 1'700'000'000);

    // Another program holds the write lock beyond the busy wait.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(LedgerPath()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(RecordPutFile(db, Key(a), "/c", &error));
    EXPECT_TRUE(error.contains("locked")) << error.toStdString();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // The file went away before it could be recorded.
    EXPECT_FALSE(RecordPutFile(db, Key(dir.filePath("gone")), "/gone", &error));
    EXPECT_FALSE(error.isEmpty());

    // Nothing was left half done: recording works again.
    ASSERT_TRUE(RecordPutFile(db, Key(a), "/d", &error)) << error.toStdString();
    EXPECT_EQ(Rows(db)[0].id, 1);
    EXPECT_EQ(Recorded(db, a), 1'700'009'999);

    // The table dropped by hand.
    ASSERT_TRUE(db.Execute(QStringLiteral("drop table T_PUT_FILE"), nullptr));
    EXPECT_FALSE(RecordPutFile(db, Key(a), "/e", &error));
    EXPECT_TRUE(error.contains("no such table")) << error.toStdString();
    PutRecord t;
    error.clear();
    EXPECT_FALSE(GetPutFileDate(db, Key(a), &t, &error));
    EXPECT_TRUE(error.contains("no such table")) << error.toStdString();
}

TEST(CompareRecordedTime, AnyInstantPastTheToleranceCountsAndWholeSecondRowsStayWhole) {
    constexpr qint64 t = 1'772'951'400;
    struct Case {
        FileTime recorded, current;
        qint32 tolerance;
        enmDateCompare expected;
    } cases[] = {
        {At(t + 2), At(t), 2, DateCompare_Same},
        {At(t - 2), At(t), 2, DateCompare_Same},
        {At(t + 3), At(t), 2, DateCompare_LedgerLater},
        {At(t - 2), At(t, 1), 2, DateCompare_Upload},
        // Within one second: a change after the recorded instant counts with no tolerance.
        {At(t, 250'000'000), At(t, 750'000'000), 0, DateCompare_Upload},
        // A row stored in whole seconds compares the file's time in whole seconds.
        {At(t, 0, true), At(t, 999'999'999), 0, DateCompare_Same},
        {At(t, 0, true), At(t + 1), 0, DateCompare_Upload},
        // Far apart: no overflow, whatever the tolerance.
        {At(-t * 50), At(t * 50), INT32_MAX, DateCompare_Upload},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareRecordedTime(c.recorded, c.current, c.tolerance), c.expected)
            << c.recorded.secs << "." << c.recorded.nsecs << " vs " << c.current.secs << "."
            << c.current.nsecs;
}

// A ledger written before targets were kept is extended in place: its rows stay, count as
// unknown (so each file goes once more) and hand their id on when their file is recorded again.
TEST(UploadLedger, OldLedgerGainsTheTargetColumnAndKeepsItsRows) {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.db");
    const QString a = MakeFile(dir, "a.txt", 1'700'000'000);
    {
        sqlite3* old = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &old), SQLITE_OK);
        const QByteArray sql =
            "CREATE TABLE T_PUT_FILE(i_id_file INTEGER NOT NULL, c_local_file_name TEXT NOT "
            "NULL, dt_local_file_date TEXT NOT NULL, c_remote_file_name TEXT NOT NULL);"
            "CREATE INDEX IX_T_PUT_FILE_LOCAL ON T_PUT_FILE(c_local_file_name);"
            "INSERT INTO T_PUT_FILE VALUES(7, '" +
            a.toUtf8() + "', '2023-11-14 22:13:20+00:00', '/www/a.txt');";
        ASSERT_EQ(sqlite3_exec(old, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(old);
    }
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(path, kJet));
    ASSERT_EQ(Rows(db).size(), 1);
    EXPECT_EQ(Rows(db)[0].target, "");
    AdoRecordset indexes;
    ASSERT_TRUE(
        db.Execute("select group_concat(name) as n from (select name from "
                   "pragma_index_list('T_PUT_FILE') order by name)",
                   &indexes));
    EXPECT_EQ(indexes.Field("n").toString(), "IX_T_PUT_FILE_ID,IX_T_PUT_FILE_KEY");
    EXPECT_EQ(Recorded(db, a), -1);
    EXPECT_EQ(Recorded(db, a, ""), -1);  // "unknown" is no target to look up either
    ASSERT_TRUE(RecordPutFile(db, Key(a), "/www/a.txt"));
    const QVector<Row> rows = Rows(db);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].id, 7);
    EXPECT_EQ(rows[0].target, kTarget);
    EXPECT_EQ(Recorded(db, a), 1'700'000'000);
}

// A ledger of the version before sizes were kept gains the new columns in place; its rows say
// nothing of size and moment and are judged by their time alone, as before.
TEST(UploadLedger, RowsWithoutSizeAndMomentAreJudgedByTheirTimeAsBefore) {
    QTemporaryDir dir;
    const QString path = dir.filePath("before.db");
    const QString a = MakeFile(dir, "a.txt", 1'700'000'000);
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &old), SQLITE_OK);
    const QByteArray sql =
        "CREATE TABLE T_PUT_FILE(i_id_file INTEGER NOT NULL, c_local_file_name "
        "TEXT NOT NULL, dt_local_file_date TEXT NOT NULL, c_remote_file_name "
        "TEXT NOT NULL, c_target TEXT NOT NULL DEFAULT '');"
        "INSERT INTO T_PUT_FILE VALUES(3, '" +
        a.toUtf8() + "', '2023-11-14 22:13:20+00:00', '/a', '" + kTarget.toUtf8() + "');";
    ASSERT_EQ(sqlite3_exec(old, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(old);
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(path, kJet));
    PutRecord recorded;
    FileState other;
    ASSERT_TRUE(GetPutFileDate(db, Key(a), &recorded));
    ASSERT_TRUE(LocalFileState(MakeFile(dir, "a.txt", 1'700'000'000), &other));
    other.size = 1000;
    EXPECT_FALSE(ChangedSinceRecord(recorded, other));
    ASSERT_TRUE(RecordPutFile(db, Key(a), "/a"));
    ASSERT_TRUE(GetPutFileDate(db, Key(a), &recorded));
    EXPECT_TRUE(ChangedSinceRecord(recorded, other));
}

}  // namespace
