#pragma once

#include <sys/stat.h>

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

#include "clsAdoJet.h"

// The upload ledger: for every local file and every place it is mirrored to, its modification
// time at the upload and the remote path it went to, in table T_PUT_FILE keyed by the exact local
// path and the target (column c_target).
//
// A row vouches that the server holds the file as it was at the recorded time. Before a file
// with a row is sent again the row is marked pending (its time emptied), durably, and only the
// server's confirmation records it again: a run killed at any moment leaves a true row or none.
//
// Failures: no function here throws. A statement that fails (read-only or locked file, full disk,
// table gone) makes GetPutFileDate answer "not found" (the file is uploaded again) and
// MarkPending and RecordPutFile return false with the reason in *error; the walk then logs
// "ERROR - CAN NOT RECORD " and counts an error instead of reporting the row as written.
namespace UploadLedger {

// SkerrowEx.db in the application folder.
QString LedgerPath();

// A file's modification time as the file system keeps it, to the nanosecond. A time read from a
// row stored without a fraction of a second has wholeSeconds set: it is compared in whole seconds.
struct FileTime {
    qint64 secs = 0;   // since the epoch
    qint32 nsecs = 0;  // 0 to 999,999,999
    bool wholeSeconds = false;
};

// What the file system says of a file now (links followed).
struct FileState {
    FileTime modified;  // mtime
    FileTime changed;   // ctime: set anew by every write, rename, touch -r or chmod
    qint64 size = 0;
};

// What a row vouches for. The size and the moment are missing (nullopt) in rows written before
// they were kept; such rows are judged by the time alone, as they always were.
struct PutRecord {
    FileTime modified;                 // dt_local_file_date
    std::optional<qint64> size;        // i_local_file_size: the size that was sent
    std::optional<FileTime> recorded;  // dt_recorded: the row vouches for the file from here on
    // c_local_file_digest: SHA-256 (hex) of the bytes the server confirmed; "" when unknown (rows
    // of earlier versions, files that could not be read whole).
    QString digest;
};

// What a row is about: a local file mirrored to a target.
struct LedgerKey {
    QString LocalPath;
    // "host:port/remote/base" of the profile (TargetOf); rows from before targets were kept hold
    // "" and match no key.
    QString Target;
};

// The target of a profile's FTP address: the host in lower case, the port and the remote base
// without a trailing "/" (except the root). "" for an address that does not parse.
QString TargetOf(const QString& ftpDir);

// The key's row in *recorded. False when there is no row, when the row is pending, or when the
// lookup fails (reason in *error).
bool GetPutFileDate(clsAdoJet& db, const LedgerKey& key, PutRecord* recorded,
                    QString* error = nullptr);

// The rows of the named files of the local folder dir (ending in "/") for the target, by name,
// read at once: what GetPutFileDate answers for each of them, pending rows and rows whose times
// do not read left out. onlyFiles: the folder holds no folder, so its rows are read in one pass
// (rows of its files that are gone come with them). False when the lookup fails (reason in
// *error).
bool GetFolderRecords(clsAdoJet& db, const QString& dir, const QStringList& names, bool onlyFiles,
                      const QString& target, QHash<QString, PutRecord>* records,
                      QString* error = nullptr);

// Makes the key's row stop vouching before its file is sent again; durable when this returns
// true (costs nothing when there is no row). On false the file must not be sent.
bool MarkPending(clsAdoJet& db, const LedgerKey& key, QString* error = nullptr);

// Records an upload: the key's row (or the local path's row without a target) is replaced,
// keeping its id (a new row gets max + 1), by one holding the record and remotePath. Delete and
// insert are one transaction, durable when this returns true; on false nothing changed. The
// record is the one made before the upload began (RecordOf): a change made while the bytes were
// on their way then shows at the next run instead of being recorded as sent.
bool RecordPutFile(clsAdoJet& db, const LedgerKey& key, const QString& remotePath,
                   const PutRecord& record, QString* error = nullptr);
// The same with the file's state read now.
bool RecordPutFile(clsAdoJet& db, const LedgerKey& key, const QString& remotePath,
                   QString* error = nullptr);

// A row whose digest is that of its file as it is now: from the record on it vouches for the
// file with the record's time, size and moment; its id, remote path and digest stay.
struct Refresh {
    LedgerKey key;
    PutRecord record;  // its digest: the row's, which only a row still holding it takes
};
// All of them in one transaction, durable when this returns true; on false none changed. A
// refresh that is lost costs the next run one more digest and nothing else.
bool RefreshRecords(clsAdoJet& db, const QVector<Refresh>& refreshes, QString* error = nullptr);

// The file's state now (links followed); false when it cannot be read.
bool LocalFileState(const QString& path, FileState* state);
// The state in a status the system gave.
FileState StateOf(const struct stat& st);

// The row an upload of a file in this state writes, taken just before its bytes are read: the
// file's time and size, and the moment now, read from the clock the file system stamps ctimes
// with, so that any later change of the file has a ctime at or after it.
PutRecord RecordOf(const FileState& state);

// Changed whatever the times say: its size is not the size that was sent, or its ctime is at or
// after the moment the row vouches from (a file replaced by rename, or given an older or a
// future time with touch, always gets a new ctime). False for a row without size and moment.
bool ChangedSinceRecord(const PutRecord& recorded, const FileState& current);

// The text a time is stored as: local time with a nine-digit fraction and the offset from UTC,
// e.g. "2026-12-07 09:05:07.250000000+09:00". Rows written without the fraction still read.
QString StoredTimeText(const FileTime& time);
bool ParseStoredTime(const QString& text, FileTime* time);

// Outcome of comparing a recorded time with the file's current one.
enum enmDateCompare { DateCompare_Upload = 1, DateCompare_LedgerLater = 2, DateCompare_Same = 3 };

// Within +-ambiguousSecond of the recorded instant (inclusive) counts as equal; any instant after
// that is DateCompare_Upload, before it DateCompare_LedgerLater. A whole-second record is
// compared with the current time cut to whole seconds. Instants are compared, so a change of
// time zone or daylight saving time is no change of the file.
enmDateCompare CompareRecordedTime(const FileTime& recorded, const FileTime& current,
                                   qint32 ambiguousSecond);

}  // namespace UploadLedger
