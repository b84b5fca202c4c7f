#pragma once

#include <QDateTime>
#include <QString>

#include "clsAdoJet.h"

// The upload ledger: for every uploaded local file, its modification time at the upload and the
// remote path it went to, in table T_PUT_FILE keyed by the exact local path.
//
// Failures: GetPutFileDate and RecordPutFile never throw. A statement that fails (read-only or
// locked file, full disk, table gone) makes GetPutFileDate answer "not found" (the file is
// uploaded again) and RecordPutFile return false with the reason in *error; the walk then logs
// "ERROR - CAN NOT RECORD " and counts an error instead of reporting the row as written.
namespace UploadLedger {

// SkerrowEx.db in the application folder.
QString LedgerPath();

// The recorded time of localPath (matched exactly, letter case included) in *recorded.
// False when there is no row, or when the lookup fails (reason in *error).
bool GetPutFileDate(clsAdoJet& db, const QString& localPath, QDateTime* recorded,
                    QString* error = nullptr);

// Records an upload: the row of localPath is replaced (keeping its id; a new path gets
// max + 1) by one holding the file's modification time read now and remotePath. Delete and
// insert are one transaction, durable when this returns true; on false nothing changed.
bool RecordPutFile(clsAdoJet& db, const QString& localPath, const QString& remotePath,
                   QString* error = nullptr);
// The same with the modification time read before the upload began: a change made while the
// bytes were on their way then shows as newer at the next run instead of being recorded as sent.
bool RecordPutFile(clsAdoJet& db, const QString& localPath, const QString& remotePath,
                   const QDateTime& modified, QString* error = nullptr);

// The file's last modification time, local, in whole seconds. False when it cannot be read.
bool LocalFileTime(const QString& path, QDateTime* modified);

// Outcome of comparing a recorded time with the file's current one.
enum enmDateCompare { DateCompare_Upload = 1, DateCompare_LedgerLater = 2, DateCompare_Same = 3 };

// recorded - current in whole seconds; within +-ambiguousSecond (inclusive) counts as equal.
// DateCompare_Upload when the file is later, DateCompare_LedgerLater when the ledger is, else
// DateCompare_Same. Instants are compared, so a change of time zone or daylight saving time is no
// change of the file.
enmDateCompare CompareRecordedTime(const QDateTime& recorded, const QDateTime& current,
                                   qint32 ambiguousSecond);

}  // namespace UploadLedger
