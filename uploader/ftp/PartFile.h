#pragma once

#include <QString>

// The name a file goes under while it is sent to a server with TempUpload on:
// ".<name>.skerrowex-part" in the file's own folder, renamed to <name> once the server has all of
// it. A name of this form that a listing shows was left by a run that ended mid-file; it is the
// only kind of file the program deletes.
namespace PartFile {

QString PathOf(const QString& remotePath);
// Whether the last segment of the path is a part name (exactly as PathOf writes it).
bool IsPart(const QString& remotePath);

// The run-log line of a server that refused to rename a part onto an existing file, so that the
// old file was deleted first: for a moment, the file was missing.
inline const QString kRenameNotAtomic =
    QStringLiteral("WARNING - RENAME NOT ATOMIC ON THIS SERVER");

}  // namespace PartFile
