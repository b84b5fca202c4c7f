#pragma once

#include <QString>
#include <QVector>

// One level of a local directory, as the walk sees it.
struct LocalEntry {
    enum class Kind { File, Directory, Other };
    QString name;
    Kind kind = Kind::Other;
    // The name's bytes are valid in the locale's character set: name leads back to the entry.
    bool nameValid = true;
    // Identity of a directory (after following a link), to notice a link that loops back.
    quint64 device = 0;
    quint64 inode = 0;
};

namespace LocalDir {
// Lists every entry of the directory except "." and "..", hidden ones included, in the byte order
// of the names, so that runs and logs are reproducible. Links are followed; an entry that is
// neither a regular file nor a directory (a socket, a fifo, a broken link) is Other. False when
// the directory cannot be read, with the system's reason in *error.
bool List(const QString& dir, QVector<LocalEntry>* entries, QString* error);
// The identity of a directory itself; false when it cannot be read (reason in *error).
bool Identity(const QString& dir, quint64* device, quint64* inode, QString* error);
}  // namespace LocalDir
