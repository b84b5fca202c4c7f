#pragma once

#include <QString>
#include <QVector>

#include "UploadLedger.h"

// One level of a local directory, as the walk sees it.
struct LocalEntry {
    // What the entry is, links followed. Special: a fifo, socket or device (what it is in
    // detail). Unreadable: its status cannot be read (the system's reason in detail); for a link
    // that leads nowhere, or in a circle.
    enum class Kind { File, Directory, Special, Unreadable };
    QString name;
    Kind kind = Kind::Unreadable;
    // A symbolic link: kind is what it leads to.
    bool link = false;
    // The name's bytes are valid in the locale's character set: name leads back to the entry.
    bool nameValid = true;
    // The entry went between reading the folder and looking at it: nothing to say about it.
    bool vanished = false;
    QString detail;
    // A file's state as the folder was read: deciding it needs no second look.
    UploadLedger::FileState state;
};

namespace LocalDir {
// Lists every entry of the directory except "." and "..", hidden ones included, in the byte order
// of the names, so that runs and logs are reproducible. Links are followed (and marked). False
// when the directory cannot be read, with the system's reason in *error.
bool List(const QString& dir, QVector<LocalEntry>* entries, QString* error);
// The identity of a directory itself; false when it cannot be read (reason in *error).
bool Identity(const QString& dir, quint64* device, quint64* inode, QString* error);
}  // namespace LocalDir
