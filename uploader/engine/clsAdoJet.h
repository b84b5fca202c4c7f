#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <QByteArray>
#include <QList>

struct sqlite3;
struct sqlite3_stmt;

// The rows a statement produced, read completely when the statement ran (the ledger's statements
// yield a row or two). Starts on the first row; EOF_() is true once past the last one.
class AdoRecordset {
public:
    bool EOF_() const { return pos_ >= rows_.size(); }
    bool IsEOF() const { return EOF_(); }
    // The current row's value of the named column (names compared ignoring letter case). A SQL
    // NULL, an unknown name or no current row give a null QVariant.
    QVariant Field(const QString& strName) const;
    void MoveNext();
    void Close();

private:
    friend class clsAdoJet;
    QStringList names_;
    QVector<QVariantList> rows_;
    qsizetype pos_ = 0;
};

// The ledger's database connection: one SQLite 3 file. Statement failures are never thrown;
// Execute and GetNewId return false and hand over SQLite's error text.
class clsAdoJet {
public:
    // The provider name the run driver passes; it selects the SQLite engine.
    static QString JetProvider() { return QStringLiteral("Microsoft.Jet.OLEDB.4.0"); }

    clsAdoJet() = default;
    ~clsAdoJet();  // closes the connection, ignoring every error
    clsAdoJet(const clsAdoJet&) = delete;
    clsAdoJet& operator=(const clsAdoJet&) = delete;

    // Opens the ledger file at strDBPath, creating the file and table T_PUT_FILE (with its
    // index on the local path and target) when missing, in WAL mode with synchronous=FULL. A table
    // of an earlier version gains every column it lacks in the same transaction. False, with no
    // connection held and the reason in strError, for an unknown provider, a folder, a file that
    // is not SQLite, lacks the table's columns, cannot be written, or stays locked beyond a short
    // busy wait.
    bool Connect(const QString& strDBPath, const QString& strProvider, QString* strError = nullptr);
    bool IsConnected() const { return db_ != nullptr; }

    // Runs one statement. params are bound to ?1, ?2 ... in order (null, integers, doubles,
    // text, bytes). oRds (may be null) receives the rows. False when not connected, when the
    // text holds more than one statement, or when SQLite reports an error; strError then
    // holds the reason.
    bool Execute(const QString& strQuery, AdoRecordset* oRds, QString* strError = nullptr);
    bool Execute(const QString& strQuery, const QVariantList& params, AdoRecordset* oRds,
                 QString* strError = nullptr);

    // nNewId = max(strFldName) + 1 over strTable (1 when the table is empty), limited by
    // strWhereCondition when not empty. The names and the condition are statement text: quote
    // any value inside the condition with Fun_EscSingleQuote::SqlQuote.
    bool GetNewId(const QString& strTable, const QString& strFldName,
                  const QString& strWhereCondition, qint64* nNewId, QString* strError = nullptr);

private:
    // A statement prepared once and run again: preparing costs more than running most of ours.
    struct Prepared {
        QByteArray sql;
        sqlite3_stmt* stmt = nullptr;
    };

    void Release();
    void PrepareLedger(QString* error);
    bool AddMissingColumns(QString* error);
    // The statement of the text, kept or prepared now; null with the reason in *error.
    sqlite3_stmt* TakeStatement(const QByteArray& sql, QString* error);
    // Keeps a statement that ran to its end (reset) for the next use of its text.
    void KeepStatement(const QByteArray& sql, sqlite3_stmt* stmt);

    sqlite3* db_ = nullptr;
    // Reset and unbound, so none holds a read open; the most recently used last.
    QList<Prepared> prepared_;
};
