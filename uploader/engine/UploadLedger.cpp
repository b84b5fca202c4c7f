#include "UploadLedger.h"

#include <QFileInfo>

#include "AppFiles.h"
#include "Fun_EscSingleQuote.h"

namespace UploadLedger {

namespace {

qint64 WholeSeconds(const QDateTime& t) {
    const qint64 ms = t.toMSecsSinceEpoch();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

// Reads the stored text "yyyy-MM-dd HH:mm:ss+hh:mm" back as that instant.
QDateTime ParseStoredTime(const QString& text) {
    QString iso = text;
    if (iso.size() > 10 && iso.at(10) == QLatin1Char(' '))
        iso[10] = QLatin1Char('T');
    return QDateTime::fromString(iso, Qt::ISODate);
}

// Undoes the open transaction and hands the reason of the failure to the caller.
bool Fail(clsAdoJet& db, const QString& reason, QString* error) {
    db.Execute(QStringLiteral("ROLLBACK"), nullptr);
    if (error)
        *error = reason;
    return false;
}

}  // namespace

QString LedgerPath() {
    return AppFiles::AppFilePath(QStringLiteral(".db"));
}

bool GetPutFileDate(clsAdoJet& db, const QString& localPath, QDateTime* recorded, QString* error) {
    AdoRecordset rds;
    if (!db.Execute(QStringLiteral("select dt_local_file_date from T_PUT_FILE "
                                   "where c_local_file_name = ?1"),
                    {localPath}, &rds, error) ||
        rds.EOF_())
        return false;
    const QString text = rds.Field(QStringLiteral("dt_local_file_date")).toString();
    rds.Close();
    const QDateTime t = ParseStoredTime(text);
    if (!t.isValid()) {
        if (error)
            *error = QStringLiteral("unreadable time in the ledger: ") + text;
        return false;
    }
    *recorded = t;
    return true;
}

bool RecordPutFile(clsAdoJet& db, const QString& localPath, const QString& remotePath,
                   QString* error) {
    QDateTime modified;
    if (!LocalFileTime(localPath, &modified)) {
        if (error)
            *error = QStringLiteral("cannot read the modification time of ") + localPath;
        return false;
    }
    return RecordPutFile(db, localPath, remotePath, modified, error);
}

bool RecordPutFile(clsAdoJet& db, const QString& localPath, const QString& remotePath,
                   const QDateTime& modified, QString* error) {
    if (!modified.isValid()) {
        if (error)
            *error = QStringLiteral("no modification time for ") + localPath;
        return false;
    }
    QString reason;
    // IMMEDIATE: the id is max + 1, so nobody may write between reading and inserting.
    if (!db.Execute(QStringLiteral("BEGIN IMMEDIATE"), nullptr, &reason))
        return Fail(db, reason, error);
    AdoRecordset rds;
    if (!db.Execute(QStringLiteral("select i_id_file from T_PUT_FILE "
                                   "where c_local_file_name = ?1"),
                    {localPath}, &rds, &reason))
        return Fail(db, reason, error);
    qint64 id = 0;
    if (rds.EOF_()) {
        if (!db.GetNewId(QStringLiteral("T_PUT_FILE"), QStringLiteral("i_id_file"), QString(), &id,
                         &reason))
            return Fail(db, reason, error);
    } else {
        id = rds.Field(QStringLiteral("i_id_file")).toLongLong();
        if (!db.Execute(QStringLiteral("delete from T_PUT_FILE where c_local_file_name = ?1"),
                        {localPath}, nullptr, &reason))
            return Fail(db, reason, error);
    }
    rds.Close();
    if (!db.Execute(QStringLiteral("Insert Into T_PUT_FILE( i_id_file, c_local_file_name, "
                                   "dt_local_file_date, c_remote_file_name )values( ?1, ?2, ?3, "
                                   "?4 )"),
                    {id, localPath, Fun_EscSingleQuote::DateTimeText(modified), remotePath},
                    nullptr, &reason) ||
        !db.Execute(QStringLiteral("COMMIT"), nullptr, &reason))
        return Fail(db, reason, error);
    return true;
}

bool LocalFileTime(const QString& path, QDateTime* modified) {
    const QFileInfo info(path);
    const QDateTime t = info.lastModified();
    if (!info.exists() || !t.isValid())
        return false;
    *modified = QDateTime::fromSecsSinceEpoch(WholeSeconds(t));
    return true;
}

enmDateCompare CompareRecordedTime(const QDateTime& recorded, const QDateTime& current,
                                   qint32 ambiguousSecond) {
    qint64 difference = WholeSeconds(recorded) - WholeSeconds(current);
    if (qAbs(difference) <= qint64(ambiguousSecond))
        difference = 0;
    if (difference < 0)
        return DateCompare_Upload;
    return difference > 0 ? DateCompare_LedgerLater : DateCompare_Same;
}

}  // namespace UploadLedger
