#include "UploadLedger.h"

#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <QDateTime>
#include <QFile>

#include "AppFiles.h"
#include "FtpAddress.h"

namespace UploadLedger {

namespace {

constexpr qint64 kNsPerSec = 1'000'000'000;
// Differences beyond this many seconds are far outside any tolerance (a qint32 of seconds); the
// clamp keeps the nanosecond arithmetic from overflowing.
constexpr qint64 kFarSecs = 4'000'000'000;
constexpr int kFractionAt = 19;  // "yyyy-MM-dd HH:mm:ss" comes first
constexpr int kFractionDigits = 9;
// Far below SQLite's limit of 32,766 parameters a statement, at six a row.
constexpr qsizetype kRefreshesPerStatement = 500;
// Keys of one folder's lookup a statement.
constexpr qsizetype kNamesPerStatement = 512;

// The key's own row first, then the row the path had before targets were kept.
const QString kWhereKeyOrUnknown =
    QStringLiteral("where c_local_file_name = ?1 and c_target in (?2, '')");

// Reads "yyyy-MM-dd HH:mm:ss+hh:mm" back as that instant.
QDateTime ParseWholeSeconds(const QString& text) {
    QString iso = text;
    if (iso.size() > 10 && iso.at(10) == QLatin1Char(' '))
        iso[10] = QLatin1Char('T');
    return QDateTime::fromString(iso, Qt::ISODate);
}

FileTime TimeOf(const struct timespec& time) {
    return {static_cast<qint64>(time.tv_sec), static_cast<qint32>(time.tv_nsec), false};
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

QString TargetOf(const QString& ftpDir) {
    FtpAddress address;
    if (!ParseFtpAddress(ftpDir, &address))
        return QString();
    address.Host = address.Host.toLower();
    QString base = address.RemoteBase;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return address.HostPort() + base;
}

// localtime_r rather than Qt's conversions, which read the zone file again each time: a rebuilt
// tree stores two times for each of its files.
QString StoredTimeText(const FileTime& time) {
    const time_t secs = static_cast<time_t>(time.secs);
    struct tm local {};
    if (!localtime_r(&secs, &local))
        return QString();
    const long minutes = std::labs(local.tm_gmtoff) / 60;
    char text[128];  // room for any int the fields may hold
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, time.nsecs, local.tm_gmtoff < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return QString::fromLatin1(text);
}

namespace {

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar (H. Hinnant's method).
qint64 DaysFromCivil(qint64 y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// The number of count digits at from; -1 when any is not a digit.
int Digits(const QString& text, qsizetype from, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text.at(from + i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The text as this program writes it ("yyyy-MM-dd HH:mm:ss.nnnnnnnnn+hh:mm"), read without
// QDateTime: a rerun reads two of them for every file. False for any other form.
bool ParseWrittenForm(const QString& text, FileTime* time) {
    static const QString kShape = QStringLiteral("0000-00-00 00:00:00.000000000+00:00");
    if (text.size() != kShape.size())
        return false;
    for (qsizetype i = 0; i < kShape.size(); ++i) {
        const QChar want = kShape.at(i);
        if (want != QLatin1Char('0') && want != QLatin1Char('+') && text.at(i) != want)
            return false;
    }
    const QChar sign = text.at(29);
    const int y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2);
    const int h = Digits(text, 11, 2), mi = Digits(text, 14, 2), sec = Digits(text, 17, 2);
    const int ns = Digits(text, 20, 9), oh = Digits(text, 30, 2), om = Digits(text, 33, 2);
    if ((sign != QLatin1Char('+') && sign != QLatin1Char('-')) || y < 0 || mo < 1 || mo > 12 ||
        d < 1 || d > DaysInMonth(y, mo) || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 ||
        sec > 59 || ns < 0 || oh < 0 || oh > 23 || om < 0 || om > 59)
        return false;
    const qint64 offset = (oh * 3600 + om * 60) * (sign == QLatin1Char('-') ? -1 : 1);
    time->secs = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + sec - offset;
    time->nsecs = ns;
    time->wholeSeconds = false;
    return true;
}

}  // namespace

bool ParseStoredTime(const QString& text, FileTime* time) {
    if (ParseWrittenForm(text, time))
        return true;
    FileTime parsed;
    QString rest = text;
    parsed.wholeSeconds = !(text.size() > kFractionAt && text.at(kFractionAt) == QLatin1Char('.'));
    if (!parsed.wholeSeconds) {
        qsizetype end = kFractionAt + 1;
        while (end < text.size() && text.at(end).isDigit())
            ++end;
        const QString digits = text.mid(kFractionAt + 1, end - kFractionAt - 1);
        if (digits.isEmpty())
            return false;
        parsed.nsecs =
            digits.left(kFractionDigits).leftJustified(kFractionDigits, QLatin1Char('0')).toInt();
        rest = text.left(kFractionAt) + text.mid(end);
    }
    const QDateTime t = ParseWholeSeconds(rest);
    if (!t.isValid())
        return false;
    parsed.secs = t.toSecsSinceEpoch();
    *time = parsed;
    return true;
}

namespace {

// The current row of a lookup as a record; false for a pending row and for one whose times do
// not read (reason in *error).
bool ReadRecord(const AdoRecordset& rds, PutRecord* recorded, QString* error) {
    const QString text = rds.Field(QStringLiteral("dt_local_file_date")).toString();
    if (text.isEmpty())  // pending: its upload never got the server's confirmation
        return false;
    const QVariant size = rds.Field(QStringLiteral("i_local_file_size"));
    const QString since = rds.Field(QStringLiteral("dt_recorded")).toString();
    PutRecord record;
    FileTime moment;
    if (!ParseStoredTime(text, &record.modified) ||
        (!since.isEmpty() && !ParseStoredTime(since, &moment))) {
        if (error)
            *error = QStringLiteral("unreadable time in the ledger: ") + text + u' ' + since;
        return false;
    }
    if (!size.isNull())
        record.size = size.toLongLong();
    if (!since.isEmpty())
        record.recorded = moment;
    record.digest = rds.Field(QStringLiteral("c_local_file_digest")).toString();
    *recorded = record;
    return true;
}

}  // namespace

bool GetPutFileDate(clsAdoJet& db, const LedgerKey& key, PutRecord* recorded, QString* error) {
    if (key.Target.isEmpty())  // rows of an unknown target vouch for nothing
        return false;
    AdoRecordset rds;
    return db.Execute(QStringLiteral("select dt_local_file_date, i_local_file_size, dt_recorded, "
                                     "c_local_file_digest from T_PUT_FILE "
                                     "where c_local_file_name = ?1 and c_target = ?2"),
                      {key.LocalPath, key.Target}, &rds, error) &&
           !rds.EOF_() && ReadRecord(rds, recorded, error);
}

namespace {

// The rows of the current lookup, by the name below dir; pending and unreadable ones left out.
void TakeRows(AdoRecordset& rds, const QString& dir, QHash<QString, PutRecord>* records) {
    for (; !rds.EOF_(); rds.MoveNext()) {
        PutRecord record;
        if (ReadRecord(rds, &record, nullptr))
            records->insert(
                rds.Field(QStringLiteral("c_local_file_name")).toString().mid(dir.size()), record);
    }
}

const QString kFolderColumns = QStringLiteral(
    "select c_local_file_name, dt_local_file_date, i_local_file_size, dt_recorded, "
    "c_local_file_digest from T_PUT_FILE where c_target = ?1 and ");

// Every name below dir sorts from "dir/" up to "dir0" ('0' follows '/'); those with a further
// "/" lie in subfolders. One pass along the index, for a folder that has none.
bool ReadFolderRange(clsAdoJet& db, const QString& dir, const QString& target,
                     QHash<QString, PutRecord>* records, QString* error) {
    QString end = dir;
    end.back() = QLatin1Char('0');
    AdoRecordset rds;
    if (!db.Execute(kFolderColumns + QStringLiteral("c_local_file_name >= ?2 and "
                                                    "c_local_file_name < ?3 and "
                                                    "instr(substr(c_local_file_name, "
                                                    "length(?2) + 1), '/') = 0"),
                    {target, dir, end}, &rds, error))
        return false;
    TakeRows(rds, dir, records);
    return true;
}

// The named files' rows by their keys: a folder's range would hold its whole subtree.
bool ReadFolderKeys(clsAdoJet& db, const QString& dir, const QStringList& names,
                    const QString& target, QHash<QString, PutRecord>* records, QString* error) {
    for (qsizetype from = 0; from < names.size(); from += kNamesPerStatement) {
        const QStringList chunk = names.mid(from, kNamesPerStatement);
        QVariantList params{target};
        for (const QString& name : chunk)
            params.append(dir + name);
        // Lists of a few lengths only, so that their statements stay prepared: the last key
        // repeated, which IN takes once.
        const qsizetype marked = std::bit_ceil(static_cast<size_t>(chunk.size()));
        while (params.size() <= marked)
            params.append(params.last());
        QString marks = QStringLiteral("?, ").repeated(marked);
        marks.chop(2);
        AdoRecordset rds;
        if (!db.Execute(kFolderColumns + QStringLiteral("c_local_file_name in (") + marks + u')',
                        params, &rds, error))
            return false;
        TakeRows(rds, dir, records);
    }
    return true;
}

}  // namespace

bool GetFolderRecords(clsAdoJet& db, const QString& dir, const QStringList& names, bool onlyFiles,
                      const QString& target, QHash<QString, PutRecord>* records, QString* error) {
    records->clear();
    if (target.isEmpty() || !dir.endsWith(QLatin1Char('/')))
        return false;
    if (names.isEmpty())
        return true;
    return onlyFiles ? ReadFolderRange(db, dir, target, records, error)
                     : ReadFolderKeys(db, dir, names, target, records, error);
}

bool MarkPending(clsAdoJet& db, const LedgerKey& key, QString* error) {
    // Changes nothing, and so writes nothing, when there is no row or it is pending already.
    return db.Execute(QStringLiteral("update T_PUT_FILE set dt_local_file_date = '' "
                                     "where c_local_file_name = ?1 and c_target = ?2 "
                                     "and dt_local_file_date <> ''"),
                      {key.LocalPath, key.Target}, nullptr, error);
}

bool RecordPutFile(clsAdoJet& db, const LedgerKey& key, const QString& remotePath, QString* error) {
    FileState state;
    if (!LocalFileState(key.LocalPath, &state)) {
        if (error)
            *error = QStringLiteral("cannot read the modification time of ") + key.LocalPath;
        return false;
    }
    return RecordPutFile(db, key, remotePath, RecordOf(state), error);
}

bool RecordPutFile(clsAdoJet& db, const LedgerKey& key, const QString& remotePath,
                   const PutRecord& record, QString* error) {
    if (key.Target.isEmpty()) {
        if (error)
            *error = QStringLiteral("no target for ") + key.LocalPath;
        return false;
    }
    QString reason;
    // IMMEDIATE: the id is max + 1, so nobody may write between reading and inserting.
    if (!db.Execute(QStringLiteral("BEGIN IMMEDIATE"), nullptr, &reason))
        return Fail(db, reason, error);
    AdoRecordset rds;
    if (!db.Execute(QStringLiteral("select i_id_file from T_PUT_FILE ") + kWhereKeyOrUnknown +
                        QStringLiteral(" order by c_target desc limit 1"),
                    {key.LocalPath, key.Target}, &rds, &reason))
        return Fail(db, reason, error);
    qint64 id = 0;
    if (rds.EOF_()) {
        if (!db.GetNewId(QStringLiteral("T_PUT_FILE"), QStringLiteral("i_id_file"), QString(), &id,
                         &reason))
            return Fail(db, reason, error);
    } else {
        id = rds.Field(QStringLiteral("i_id_file")).toLongLong();
        if (!db.Execute(QStringLiteral("delete from T_PUT_FILE ") + kWhereKeyOrUnknown,
                        {key.LocalPath, key.Target}, nullptr, &reason))
            return Fail(db, reason, error);
    }
    rds.Close();
    const QVariant size = record.size ? QVariant(*record.size) : QVariant();
    const QVariant since =
        record.recorded ? QVariant(StoredTimeText(*record.recorded)) : QVariant();
    const QVariant digest = record.digest.isEmpty() ? QVariant() : QVariant(record.digest);
    if (!db.Execute(QStringLiteral("Insert Into T_PUT_FILE( i_id_file, c_local_file_name, "
                                   "dt_local_file_date, c_remote_file_name, c_target, "
                                   "i_local_file_size, dt_recorded, c_local_file_digest )values( "
                                   "?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8 )"),
                    {id, key.LocalPath, StoredTimeText(record.modified), remotePath, key.Target,
                     size, since, digest},
                    nullptr, &reason) ||
        !db.Execute(QStringLiteral("COMMIT"), nullptr, &reason))
        return Fail(db, reason, error);
    return true;
}

bool RefreshRecords(clsAdoJet& db, const QVector<Refresh>& refreshes, QString* error) {
    QString reason;
    if (!db.Execute(QStringLiteral("BEGIN IMMEDIATE"), nullptr, &reason))
        return Fail(db, reason, error);
    // Many rows a statement: a statement's preparation costs more than its rows.
    for (qsizetype from = 0; from < refreshes.size(); from += kRefreshesPerStatement) {
        QStringList values;
        QVariantList params;
        for (const Refresh& refresh : refreshes.mid(from, kRefreshesPerStatement)) {
            const PutRecord& record = refresh.record;
            values.append(QStringLiteral("(?, ?, ?, ?, ?, ?)"));
            params << refresh.key.LocalPath << refresh.key.Target << StoredTimeText(record.modified)
                   << (record.size ? QVariant(*record.size) : QVariant())
                   << (record.recorded ? QVariant(StoredTimeText(*record.recorded)) : QVariant())
                   << record.digest;
        }
        if (!db.Execute(QStringLiteral("update T_PUT_FILE set dt_local_file_date = v.column3, "
                                       "i_local_file_size = v.column4, dt_recorded = v.column5 "
                                       "from (values ") +
                            values.join(QStringLiteral(", ")) +
                            QStringLiteral(") as v where c_local_file_name = v.column1 "
                                           "and c_target = v.column2 "
                                           "and c_local_file_digest = v.column6"),
                        params, nullptr, &reason))
            return Fail(db, reason, error);
    }
    if (!db.Execute(QStringLiteral("COMMIT"), nullptr, &reason))
        return Fail(db, reason, error);
    return true;
}

bool LocalFileState(const QString& path, FileState* state) {
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *state = StateOf(st);
    return true;
}

FileState StateOf(const struct stat& st) {
    return {TimeOf(st.st_mtim), TimeOf(st.st_ctim), static_cast<qint64>(st.st_size)};
}

PutRecord RecordOf(const FileState& state) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return {state.modified, state.size, TimeOf(now), {}};
}

bool ChangedSinceRecord(const PutRecord& recorded, const FileState& current) {
    if (recorded.size && *recorded.size != current.size)
        return true;
    if (!recorded.recorded)
        return false;
    const FileTime& since = *recorded.recorded;
    return current.changed.secs > since.secs ||
           (current.changed.secs == since.secs && current.changed.nsecs >= since.nsecs);
}

enmDateCompare CompareRecordedTime(const FileTime& recorded, const FileTime& current,
                                   qint32 ambiguousSecond) {
    const qint64 secs = qBound(-kFarSecs, recorded.secs - current.secs, kFarSecs);
    const qint64 nsecs = recorded.nsecs - (recorded.wholeSeconds ? 0 : current.nsecs);
    const qint64 difference = secs * kNsPerSec + nsecs;
    const qint64 tolerance = qMax<qint64>(ambiguousSecond, 0) * kNsPerSec;
    if (difference < -tolerance)
        return DateCompare_Upload;
    return difference > tolerance ? DateCompare_LedgerLater : DateCompare_Same;
}

}  // namespace UploadLedger
