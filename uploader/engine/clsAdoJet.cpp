#include "clsAdoJet.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

namespace {

// Long enough to ride out another program's checkpoint, short enough that a run started while
// the file is held elsewhere fails at once with the ledger message.
constexpr int kBusyWaitMs = 2000;

// An exact, case-sensitive key (BINARY collation), as this file system compares names; the
// indexes keep a lookup and the next id logarithmic in the number of rows, and the key's index
// holds the time too, so a lookup reads no table page. c_target names the place a row's upload
// went to; files from before it existed gain it with '' (unknown) in place.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS T_PUT_FILE("
    " i_id_file INTEGER NOT NULL,"
    " c_local_file_name TEXT NOT NULL,"
    " dt_local_file_date TEXT NOT NULL,"
    " c_remote_file_name TEXT NOT NULL,"
    " c_target TEXT NOT NULL DEFAULT '')",
    // Fails to prepare when an existing table lacks one of the columns.
    "SELECT i_id_file, c_local_file_name, dt_local_file_date, c_remote_file_name"
    " FROM T_PUT_FILE LIMIT 0",
    "CREATE INDEX IF NOT EXISTS IX_T_PUT_FILE_ID ON T_PUT_FILE(i_id_file)",
};

// After the target column: the key's index replaces the one on the local path alone.
const char* const kKeyIndex[] = {
    "DROP INDEX IF EXISTS IX_T_PUT_FILE_LOCAL",
    "CREATE INDEX IF NOT EXISTS IX_T_PUT_FILE_KEY"
    " ON T_PUT_FILE(c_local_file_name, c_target, dt_local_file_date)",
};

const QString kHasTarget = QStringLiteral(
    "select count(*) as n from pragma_table_info('T_PUT_FILE') where name = 'c_target'");
const QString kAddTarget =
    QStringLiteral("ALTER TABLE T_PUT_FILE ADD COLUMN c_target TEXT NOT NULL DEFAULT ''");

QString ErrorText(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool Bind(sqlite3_stmt* stmt, int index, const QVariant& value) {
    if (value.isNull())
        return sqlite3_bind_null(stmt, index) == SQLITE_OK;
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            return sqlite3_bind_int64(stmt, index, value.toLongLong()) == SQLITE_OK;
        case QMetaType::Double:
            return sqlite3_bind_double(stmt, index, value.toDouble()) == SQLITE_OK;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return sqlite3_bind_blob64(stmt, index, bytes.constData(), bytes.size(),
                                       SQLITE_TRANSIENT) == SQLITE_OK;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            return sqlite3_bind_text64(stmt, index, text.constData(), text.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8) == SQLITE_OK;
        }
    }
}

QVariant Column(sqlite3_stmt* stmt, int col) {
    switch (sqlite3_column_type(stmt, col)) {
        case SQLITE_INTEGER:
            return QVariant(qint64(sqlite3_column_int64(stmt, col)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(stmt, col));
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
            return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(stmt, col)));
        }
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, col));
            return QVariant(QByteArray(data, sqlite3_column_bytes(stmt, col)));
        }
        default:
            return QVariant();
    }
}

bool OnlyBlanks(const char* text) {
    for (; *text; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n' && *text != ';')
            return false;
    }
    return true;
}

// Steps the prepared statement to its end, collecting the rows into rds when given.
int Collect(sqlite3_stmt* stmt, AdoRecordset* rds, QStringList* names,
            QVector<QVariantList>* rows) {
    const int cols = sqlite3_column_count(stmt);
    for (int c = 0; rds && c < cols; ++c)
        names->append(QString::fromUtf8(sqlite3_column_name(stmt, c)));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!rds)
            continue;
        QVariantList row;
        row.reserve(cols);
        for (int c = 0; c < cols; ++c)
            row.append(Column(stmt, c));
        rows->append(row);
    }
    return rc;
}

}  // namespace

QVariant AdoRecordset::Field(const QString& strName) const {
    if (EOF_())
        return QVariant();
    for (qsizetype c = 0; c < names_.size(); ++c) {
        if (names_.at(c).compare(strName, Qt::CaseInsensitive) == 0)
            return rows_.at(pos_).value(c);
    }
    return QVariant();
}

void AdoRecordset::MoveNext() {
    if (!EOF_())
        ++pos_;
}

void AdoRecordset::Close() {
    names_.clear();
    rows_.clear();
    pos_ = 0;
}

clsAdoJet::~clsAdoJet() {
    Release();
}

void clsAdoJet::Release() {
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool clsAdoJet::Connect(const QString& strDBPath, const QString& strProvider) {
    Release();
    if (strProvider.compare(JetProvider(), Qt::CaseInsensitive) != 0 || strDBPath.isEmpty() ||
        QFileInfo(strDBPath).isDir())
        return false;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(QFile::encodeName(strDBPath).constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK || !PrepareLedger()) {
        Release();
        return false;
    }
    return true;
}

bool clsAdoJet::PrepareLedger() {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    // SQLite silently falls back to read-only when the file denies writing.
    if (sqlite3_db_readonly(db_, "main") != 0)
        return false;
    AdoRecordset mode;
    if (!Execute(QStringLiteral("PRAGMA journal_mode=WAL"), &mode) ||
        mode.Field(QStringLiteral("journal_mode")).toString() != QLatin1String("wal"))
        return false;
    // FULL: in WAL mode NORMAL may lose the last commits on power loss; every recorded upload
    // must survive once recorded.
    if (!Execute(QStringLiteral("PRAGMA synchronous=FULL"), nullptr))
        return false;
    // IMMEDIATE takes the write lock, so a file held by another writer fails here.
    if (!Execute(QStringLiteral("BEGIN IMMEDIATE"), nullptr))
        return false;
    bool ok = true;
    for (const char* statement : kSchema)
        ok = ok && Execute(QString::fromLatin1(statement), nullptr);
    AdoRecordset target;
    ok = ok && Execute(kHasTarget, &target);
    if (ok && target.Field(QStringLiteral("n")).toLongLong() == 0)
        ok = Execute(kAddTarget, nullptr);
    for (const char* statement : kKeyIndex)
        ok = ok && Execute(QString::fromLatin1(statement), nullptr);
    if (!ok) {
        Execute(QStringLiteral("ROLLBACK"), nullptr);
        return false;
    }
    return Execute(QStringLiteral("COMMIT"), nullptr);
}

bool clsAdoJet::Execute(const QString& strQuery, AdoRecordset* oRds, QString* strError) {
    return Execute(strQuery, QVariantList(), oRds, strError);
}

bool clsAdoJet::Execute(const QString& strQuery, const QVariantList& params, AdoRecordset* oRds,
                        QString* strError) {
    if (oRds)
        oRds->Close();
    if (!db_) {
        if (strError)
            *strError = QStringLiteral("no database connection");
        return false;
    }
    const QByteArray sql = strQuery.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &stmt, &tail);
    QString error;
    if (rc != SQLITE_OK) {
        error = ErrorText(db_);
    } else if (!stmt || !OnlyBlanks(tail)) {
        error = QStringLiteral("exactly one statement expected");
    } else {
        for (int i = 0; i < params.size() && error.isEmpty(); ++i) {
            if (!Bind(stmt, i + 1, params.at(i)))
                error = ErrorText(db_);
        }
        QStringList names;
        QVector<QVariantList> rows;
        if (error.isEmpty() && Collect(stmt, oRds, &names, &rows) != SQLITE_DONE)
            error = ErrorText(db_);
        if (error.isEmpty() && oRds) {
            oRds->names_ = names;
            oRds->rows_ = rows;
        }
    }
    sqlite3_finalize(stmt);
    if (strError)
        *strError = error;
    return error.isEmpty();
}

bool clsAdoJet::GetNewId(const QString& strTable, const QString& strFldName,
                         const QString& strWhereCondition, qint64* nNewId, QString* strError) {
    QString query = QStringLiteral("select max(") + strFldName +
                    QStringLiteral(") as n_new_id from ") + strTable;
    if (!strWhereCondition.isEmpty())
        query += QStringLiteral(" where ") + strWhereCondition;
    AdoRecordset rds;
    if (!Execute(query, &rds, strError))
        return false;
    const QVariant max = rds.Field(QStringLiteral("n_new_id"));
    *nNewId = max.isNull() ? 1 : max.toLongLong() + 1;
    rds.Close();
    return true;
}
