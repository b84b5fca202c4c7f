#include "clsAdoJet.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// Long enough to ride out another program's checkpoint, short enough that a run started while
// the file is held elsewhere fails at once with the ledger message.
constexpr int kBusyWaitMs = 2000;
// The ledger's own statements, a few lookups of different lengths among them.
constexpr qsizetype kStatementsKept = 32;

// An exact, case-sensitive key (BINARY collation), as this file system compares names; the
// indexes keep a lookup and the next id logarithmic in the number of rows.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS T_PUT_FILE("
    " i_id_file INTEGER NOT NULL,"
    " c_local_file_name TEXT NOT NULL,"
    " dt_local_file_date TEXT NOT NULL,"
    " c_remote_file_name TEXT NOT NULL)",
    // Fails to prepare when an existing table lacks one of the columns.
    "SELECT i_id_file, c_local_file_name, dt_local_file_date, c_remote_file_name"
    " FROM T_PUT_FILE LIMIT 0",
    "CREATE INDEX IF NOT EXISTS IX_T_PUT_FILE_ID ON T_PUT_FILE(i_id_file)",
};

// Every column the table has gained since its first form, with its definition. A ledger of an
// earlier version gains the ones it lacks in place; its rows then hold the defaults, with which
// they behave as they did: c_target '' (an unknown target), no size and no moment (judged by the
// time alone), no digest (a changed time sends the file).
struct AddedColumn {
    const char* name;
    const char* definition;
};
const AddedColumn kAddedColumns[] = {
    {"c_target", "TEXT NOT NULL DEFAULT ''"},
    {"i_local_file_size", "INTEGER"},
    {"dt_recorded", "TEXT"},
    {"c_local_file_digest", "TEXT"},
};

// After the target column: the key's index replaces the one on the local path alone.
const char* const kKeyIndex[] = {
    "DROP INDEX IF EXISTS IX_T_PUT_FILE_LOCAL",
    "CREATE INDEX IF NOT EXISTS IX_T_PUT_FILE_KEY"
    " ON T_PUT_FILE(c_local_file_name, c_target, dt_local_file_date)",
};

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
    // The name as the statement spelled it first: a walk asks five times for every file.
    qsizetype c = names_.indexOf(strName);
    for (qsizetype i = 0; c < 0 && i < names_.size(); ++i) {
        if (names_.at(i).compare(strName, Qt::CaseInsensitive) == 0)
            c = i;
    }
    return c < 0 ? QVariant() : rows_.at(pos_).value(c);
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
    for (const Prepared& p : std::as_const(prepared_))
        sqlite3_finalize(p.stmt);
    prepared_.clear();
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

sqlite3_stmt* clsAdoJet::TakeStatement(const QByteArray& sql, QString* error) {
    for (qsizetype i = prepared_.size() - 1; i >= 0; --i) {
        if (prepared_.at(i).sql == sql)
            return prepared_.takeAt(i).stmt;
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &stmt, &tail) != SQLITE_OK)
        *error = ErrorText(db_);
    else if (!stmt || !OnlyBlanks(tail))
        *error = QStringLiteral("exactly one statement expected");
    if (error->isEmpty())
        return stmt;
    sqlite3_finalize(stmt);
    return nullptr;
}

void clsAdoJet::KeepStatement(const QByteArray& sql, sqlite3_stmt* stmt) {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (prepared_.size() >= kStatementsKept)
        sqlite3_finalize(prepared_.takeFirst().stmt);
    prepared_.append({sql, stmt});
}

bool clsAdoJet::Connect(const QString& strDBPath, const QString& strProvider, QString* strError) {
    Release();
    QString error;
    if (strProvider.compare(JetProvider(), Qt::CaseInsensitive) != 0)
        error = QStringLiteral("unknown provider ") + strProvider;
    else if (strDBPath.isEmpty())
        error = QString::fromLocal8Bit(std::strerror(ENOENT));
    else if (QFileInfo(strDBPath).isDir())
        error = QString::fromLocal8Bit(std::strerror(EISDIR));
    else if (sqlite3_open_v2(QFile::encodeName(strDBPath).constData(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        error = db_ ? ErrorText(db_) : QStringLiteral("out of memory");
    else
        PrepareLedger(&error);
    if (strError)
        *strError = error;
    if (error.isEmpty())
        return true;
    Release();
    return false;
}

// The reason of a failure in *error; empty when the ledger is ready.
void clsAdoJet::PrepareLedger(QString* error) {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    // SQLite silently falls back to read-only when the file denies writing.
    if (sqlite3_db_readonly(db_, "main") != 0) {
        *error = QStringLiteral("the file cannot be written");
        return;
    }
    AdoRecordset mode;
    if (!Execute(QStringLiteral("PRAGMA journal_mode=WAL"), &mode, error))
        return;
    if (mode.Field(QStringLiteral("journal_mode")).toString() != QLatin1String("wal")) {
        *error = QStringLiteral("the file does not take the WAL journal");
        return;
    }
    // FULL: in WAL mode NORMAL may lose the last commits on power loss; every recorded upload
    // must survive once recorded. IMMEDIATE takes the write lock, so a file held by another
    // writer fails here.
    if (!Execute(QStringLiteral("PRAGMA synchronous=FULL"), nullptr, error) ||
        !Execute(QStringLiteral("BEGIN IMMEDIATE"), nullptr, error))
        return;
    bool ok = true;
    for (const char* statement : kSchema)
        ok = ok && Execute(QString::fromLatin1(statement), nullptr, error);
    ok = ok && AddMissingColumns(error);
    for (const char* statement : kKeyIndex)
        ok = ok && Execute(QString::fromLatin1(statement), nullptr, error);
    if (!ok) {
        Execute(QStringLiteral("ROLLBACK"), nullptr);
        return;
    }
    Execute(QStringLiteral("COMMIT"), nullptr, error);
}

// Inside PrepareLedger's transaction: all of them come, or none.
bool clsAdoJet::AddMissingColumns(QString* error) {
    AdoRecordset columns;
    if (!Execute(QStringLiteral("select name from pragma_table_info('T_PUT_FILE')"), &columns,
                 error))
        return false;
    QStringList present;
    for (; !columns.EOF_(); columns.MoveNext())
        present.append(columns.Field(QStringLiteral("name")).toString());
    for (const AddedColumn& column : kAddedColumns) {
        const QString name = QString::fromLatin1(column.name);
        if (!present.contains(name, Qt::CaseInsensitive) &&
            !Execute(QStringLiteral("ALTER TABLE T_PUT_FILE ADD COLUMN ") + name + u' ' +
                         QString::fromLatin1(column.definition),
                     nullptr, error))
            return false;
    }
    return true;
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
    QString error;
    sqlite3_stmt* stmt = TakeStatement(sql, &error);
    if (stmt) {
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
        // One that failed is made anew next time rather than trusted.
        if (error.isEmpty())
            KeepStatement(sql, stmt);
        else
            sqlite3_finalize(stmt);
    }
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
