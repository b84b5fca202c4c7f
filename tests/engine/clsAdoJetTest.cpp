#include <grp.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "AppFiles.h"
#include "Fun_EscSingleQuote.h"
#include "QtPrint.h"
#include "clsAdoJet.h"

namespace {

const QString kJet = clsAdoJet::JetProvider();
const QString kInsert = QStringLiteral(
    "insert into T_PUT_FILE(i_id_file, c_local_file_name, dt_local_file_date, "
    "c_remote_file_name) values");

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QVariant Scalar(clsAdoJet& db, const QString& sql) {
    AdoRecordset rds;
    EXPECT_TRUE(db.Execute(sql, &rds)) << sql.toStdString();
    return rds.EOF_() ? QVariant() : rds.Field(QStringLiteral("v"));
}

// Runs Connect in a child process as user nobody: root ignores file modes, so this is how a
// file without write permission is met when the tests run as root.
bool ConnectAsNobody(const QString& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        clsAdoJet db;
        _exit(db.Connect(path, kJet) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 3) << "cannot become nobody";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(clsAdoJet, ConnectCreatesIndexedLedgerInWalModeWithFullSync) {
    const QString path = AppFiles::AppFilePath(QStringLiteral(".db"));
    ASSERT_FALSE(QFile::exists(path));
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(path, QStringLiteral("microsoft.jet.oledb.4.0")));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(
        Scalar(db, QStringLiteral("select journal_mode as v from pragma_journal_mode")).toString(),
        "wal");
    EXPECT_EQ(
        Scalar(db, QStringLiteral("select synchronous as v from pragma_synchronous")).toLongLong(),
        2);  // FULL
    AdoRecordset cols;
    ASSERT_TRUE(
        db.Execute(QStringLiteral("select name from pragma_table_info('T_PUT_FILE')"), &cols));
    QStringList names;
    for (; !cols.EOF_(); cols.MoveNext())
        names << cols.Field(QStringLiteral("NAME")).toString();
    EXPECT_EQ(names, (QStringList{"i_id_file", "c_local_file_name", "dt_local_file_date",
                                  "c_remote_file_name", "c_target", "i_local_file_size",
                                  "dt_recorded", "c_local_file_digest"}));
    AdoRecordset plan;
    ASSERT_TRUE(db.Execute(QStringLiteral("EXPLAIN QUERY PLAN select dt_local_file_date from "
                                          "T_PUT_FILE where c_local_file_name = ?1 and "
                                          "c_target = ?2"),
                           {QStringLiteral("x"), QStringLiteral("t")}, &plan));
    EXPECT_TRUE(plan.Field(QStringLiteral("detail")).toString().contains("USING COVERING INDEX"))
        << plan.Field(QStringLiteral("detail")).toString().toStdString();
}

TEST(clsAdoJet, ConnectRefusesWhatIsNoUsableLedgerAndLeavesItAlone) {
    QTemporaryDir dir;
    clsAdoJet db;
    EXPECT_FALSE(db.Connect(dir.filePath("a.db"), QStringLiteral("SQLOLEDB")));
    EXPECT_FALSE(QFile::exists(dir.filePath("a.db")));
    EXPECT_FALSE(db.Connect(dir.path(), kJet));
    EXPECT_FALSE(db.Connect(dir.filePath("missing/a.db"), kJet));
    EXPECT_FALSE(db.Connect(QString(), kJet));

    const QByteArray text = QByteArray("Not a database at all.\r\n").repeated(400);
    WriteRaw(dir.filePath("text.db"), text);
    EXPECT_FALSE(db.Connect(dir.filePath("text.db"), kJet));
    EXPECT_EQ(ReadAll(dir.filePath("text.db")), text);

    // A real header followed by garbage.
    const QByteArray corrupt = QByteArray("SQLite format 3") + '\0' + QByteArray(4080, '\xA5');
    WriteRaw(dir.filePath("corrupt.db"), corrupt);
    EXPECT_FALSE(db.Connect(dir.filePath("corrupt.db"), kJet));
    EXPECT_EQ(ReadAll(dir.filePath("corrupt.db")), corrupt);

    // Some other program's database that happens to hold a T_PUT_FILE.
    ASSERT_TRUE(db.Connect(dir.filePath("other.db"), kJet));
    ASSERT_TRUE(db.Execute(QStringLiteral("drop table T_PUT_FILE"), nullptr));
    ASSERT_TRUE(db.Execute(QStringLiteral("create table T_PUT_FILE(i_id_file, c_name)"), nullptr));
    EXPECT_FALSE(db.Connect(dir.filePath("other.db"), kJet));

    EXPECT_FALSE(db.IsConnected());
    QString error;
    EXPECT_FALSE(db.Execute(QStringLiteral("select 1"), nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
    qint64 id = 0;
    EXPECT_FALSE(db.GetNewId(QStringLiteral("T_PUT_FILE"), QStringLiteral("i_id_file"), {}, &id));
}

TEST(clsAdoJet, ConnectRefusesFileLockedByAnotherWriterUntilReleased) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SkerrowEx.db");
    { ASSERT_TRUE(clsAdoJet().Connect(path, kJet)); }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    clsAdoJet db;
    EXPECT_FALSE(db.Connect(path, kJet));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(db.Connect(path, kJet));
}

TEST(clsAdoJet, ConnectRefusesFileWithoutWritePermission) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SkerrowEx.db");
    { ASSERT_TRUE(clsAdoJet().Connect(path, kJet)); }
    const auto all = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther |
                     QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther |
                     QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), all));
    ASSERT_TRUE(QFile::setPermissions(path, all));
    EXPECT_TRUE(ConnectAsNobody(path));  // the child can connect when allowed to
    ASSERT_TRUE(QFile::setPermissions(
        path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    EXPECT_FALSE(ConnectAsNobody(path));
    ASSERT_TRUE(QFile::setPermissions(path, {}));
    EXPECT_FALSE(ConnectAsNobody(path));
}

TEST(clsAdoJet, ExecuteReturnsRowsByNameAndReportsFailures) {
    QTemporaryDir dir;
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(dir.filePath("a.db"), kJet));
    AdoRecordset rds;
    ASSERT_TRUE(db.Execute(QStringLiteral("select ?1 as a, ?2 as B, ?3 as c union all "
                                          "select 'x', null, 2.5;"),
                           {qint64(7), QStringLiteral("ソース"), QVariant()}, &rds));
    ASSERT_FALSE(rds.IsEOF());
    EXPECT_EQ(rds.Field(QStringLiteral("A")).toLongLong(), 7);
    EXPECT_EQ(rds.Field(QStringLiteral("b")).toString(), QStringLiteral("ソース"));
    EXPECT_TRUE(rds.Field(QStringLiteral("c")).isNull());
    EXPECT_TRUE(rds.Field(QStringLiteral("nope")).isNull());
    rds.MoveNext();
    EXPECT_EQ(rds.Field(QStringLiteral("a")).toString(), "x");
    EXPECT_DOUBLE_EQ(rds.Field(QStringLiteral("c")).toDouble(), 2.5);
    rds.MoveNext();
    EXPECT_TRUE(rds.EOF_());
    EXPECT_TRUE(rds.Field(QStringLiteral("a")).isNull());

    QString error;
    EXPECT_FALSE(db.Execute(QStringLiteral("selec 1"), &rds, &error));
    EXPECT_TRUE(error.contains("syntax error")) << error.toStdString();
    EXPECT_TRUE(rds.EOF_());
    // A second statement is never run behind the first one's back.
    EXPECT_FALSE(db.Execute(QStringLiteral("select 1; drop table T_PUT_FILE"), nullptr, &error));
    EXPECT_TRUE(db.Execute(QStringLiteral("select count(*) from T_PUT_FILE"), nullptr));
    // A failing step (not only a failing prepare) is reported too.
    EXPECT_FALSE(db.Execute(kInsert + QStringLiteral("(1, null, 'd', 'r')"), nullptr, &error));
    EXPECT_TRUE(error.contains("NOT NULL")) << error.toStdString();
}

TEST(clsAdoJet, GetNewIdIsMaxPlusOneOrOne) {
    QTemporaryDir dir;
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(dir.filePath("a.db"), kJet));
    qint64 id = 0;
    ASSERT_TRUE(db.GetNewId(QStringLiteral("T_PUT_FILE"), QStringLiteral("i_id_file"), {}, &id));
    EXPECT_EQ(id, 1);
    ASSERT_TRUE(db.Execute(kInsert + QStringLiteral("(9, 'it''s', 'd', 'r'), "
                                                    "(5, 'b', 'd', 'r')"),
                           nullptr));
    ASSERT_TRUE(db.GetNewId(QStringLiteral("T_PUT_FILE"), QStringLiteral("i_id_file"), {}, &id));
    EXPECT_EQ(id, 10);
    const QString where =
        QStringLiteral("c_local_file_name =") + Fun_EscSingleQuote::SqlQuote(QStringLiteral("b"));
    ASSERT_TRUE(db.GetNewId(QStringLiteral("T_PUT_FILE"), QStringLiteral("i_id_file"), where, &id));
    EXPECT_EQ(id, 6);
    EXPECT_FALSE(db.GetNewId(QStringLiteral("T_NONE"), QStringLiteral("i_id_file"), {}, &id));
}

TEST(Fun_EscSingleQuote, QuotedTextNeverBreaksOutOfItsQuotes) {
    EXPECT_EQ(Fun_EscSingleQuote::SqlQuote(QStringLiteral("C:\\Work\\it's.txt")),
              QStringLiteral(" 'C:\\Work\\it''s.txt' "));
    EXPECT_EQ(Fun_EscSingleQuote::EscSingleQuote(7), "7");
    const QDateTime t(QDate(2026, 12, 7), QTime(9, 5, 7), Qt::OffsetFromUTC, 9 * 3600);
    EXPECT_EQ(Fun_EscSingleQuote::EscSingleQuote(t), Fun_EscSingleQuote::DateTimeText(t));

    QTemporaryDir dir;
    clsAdoJet db;
    ASSERT_TRUE(db.Connect(dir.filePath("a.db"), kJet));
    const QStringList values = {
        "'",
        "''",
        "it's",
        "'; drop table T_PUT_FILE; --",
        "\\'",
        "a\\",
        "100%_x",
        "%",
        " /ソース/表示 ",
        "\t",
        "\"q\"",
        "' or '1'='1",
        "x' || (select 1) || '",
        "",
    };
    for (const QString& v : values) {
        const QString sql =
            QStringLiteral("select") + Fun_EscSingleQuote::SqlQuote(v) + QStringLiteral("as v");
        EXPECT_EQ(Scalar(db, sql).toString(), v) << sql.toStdString();
        ASSERT_TRUE(db.Execute(kInsert + QStringLiteral("(1, ?1, 'd', 'r')"), {v}, nullptr));
    }
    // A LIKE-free equality finds each value's own row and nothing else.
    for (const QString& v : values) {
        const QString sql = QStringLiteral(
                                "select count(*) as v from T_PUT_FILE where "
                                "c_local_file_name =") +
                            Fun_EscSingleQuote::SqlQuote(v);
        EXPECT_EQ(Scalar(db, sql).toLongLong(), 1) << sql.toStdString();
    }
}

}  // namespace
