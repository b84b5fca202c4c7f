#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "Typ_Profile.h"

// One line of the profile file: a list item as it is stored.
struct ProfileRow {
    bool Checked = false;
    QString LocalBaseDir;  // item text
    QString Interval;      // "Int." column, as typed
    QString FtpAddress;    // "Ftp Base Dir" column, with its "ftp://" prefix (or "sftp://")
    QString Account;
    QString Passwd;  // the item's tag, plain text

    bool operator==(const ProfileRow&) const = default;
};

// The profile file beside the program: one TAB-separated line of six fields per profile, CR LF
// line ends, one more CR LF after the last line, through the code page converter. A line that
// holds no profile (fewer than six fields, or bytes that are no text of the code page) is kept as
// it is and written back after the profiles, so that nothing the program cannot read is lost.
namespace ProfileFile {

QString DefaultPath();

// The exact bytes of the file for these rows and kept lines.
QByteArray Compose(const QList<ProfileRow>& rows, const QList<QByteArray>& kept = {});

// Rows of the file's bytes, and in *kept the lines that hold none (empty lines are neither). A
// TAB past the sixth field belongs to the password, the last field, which a TAB cannot end.
void Parse(const QByteArray& data, QList<ProfileRow>* rows, QList<QByteArray>* kept);

// The Boolean of a first field: "True"/"False" in any case, or a number (0 is False).
bool ParseChecked(const QString& field);

enum class LoadResult { Loaded, Absent, Unreadable };

// Absent for a missing file or a folder, Unreadable for a file that could not be read; rows and
// kept are then empty. stamp, when given, receives the Stamp of what was read; kept, the lines
// that hold no profile.
LoadResult Load(const QString& path, QList<ProfileRow>* rows, QByteArray* stamp = nullptr,
                QList<QByteArray>* kept = nullptr);

// What the file holds now, to tell whether someone else has replaced it since this program read
// or wrote it: empty when there is no file, else a hash of its bytes (or a fixed mark when it
// cannot be read).
QByteArray Stamp(const QString& path);

// The profile a row stands for: the address without its first six characters (the "ftp://"
// prefix; an "sftp://" address stays whole), the interval's leading number rounded to a whole
// number.
Typ_Profile ProfileFromRow(const ProfileRow& row);

// Replaces the file atomically, readable and writable by its owner only (it holds passwords).
// stamp, when given, receives the Stamp of what was written.
bool Save(const QString& path, const QList<ProfileRow>& rows, QString* error,
          QByteArray* stamp = nullptr, const QList<QByteArray>& kept = {});

}  // namespace ProfileFile
