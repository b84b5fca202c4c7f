#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>

// Whole-file and one-line text access through the code page converter. Lines are written with
// CR LF; reading accepts CR LF and LF alone.
namespace TextFile {

// The file's bytes as they are; false (and no bytes, the reason in *error) when the file cannot be
// read or is no regular file (a fifo in its place is refused, not waited on).
bool ReadAll(const QString& path, QByteArray* data, QString* error = nullptr);

// Lines of a file's bytes, as ReadLines gives them.
QStringList SplitLines(const QByteArray& data);

// Reads the whole file and splits it into lines (one CR before each LF is dropped; a last line
// without a line end counts; the empty rest after a final line end does not). False when the
// file cannot be read.
bool ReadLines(const QString& path, QStringList* lines);

// Writes text + CR LF to an open file and flushes it.
bool WriteLine(QFileDevice& file, const QString& line, QString* error = nullptr);

// Appends text + CR LF, creating the file; the file is closed again at once.
bool AppendLine(const QString& path, const QString& line, QString* error = nullptr);

// Replaces the file's content atomically: a temporary file in the same folder is written,
// flushed to disk and renamed over the target, so a crash never leaves a half-written file.
bool WriteAtomic(const QString& path, const QByteArray& data, QFileDevice::Permissions perms,
                 QString* error = nullptr);

// Deletes the file, ignoring every error (a missing file is no error).
void DeleteQuietly(const QString& path);

}  // namespace TextFile
