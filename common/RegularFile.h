#pragma once

#include <sys/stat.h>

#include <QString>

class QFile;

// Opening a path that someone else may have put there: a fifo or a device in a file's place must
// be refused, never waited on (open() of a fifo without a writer blocks for ever, and no signal
// ends that wait). The path is opened without blocking and the open descriptor is checked.
namespace RegularFile {

// A read-only descriptor of the regular file at path (close-on-exec), with its status in *st.
// -1 with the reason in *error when it cannot be opened or is no regular file.
int OpenForReading(const QString& path, struct stat* st, QString* error);

// The same into file, which owns the descriptor from then on. False with the reason in *error.
bool Open(QFile& file, const QString& path, QString* error = nullptr);

// What a file that is no regular file is, for a reason text: "fifo", "socket", "directory" ...
QString KindName(mode_t mode);

// The system's words for an error number, with the number: "Permission denied (errno 13)".
QString ErrnoText(int number);

}  // namespace RegularFile
