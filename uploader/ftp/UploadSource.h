#pragma once

#include <sys/stat.h>

#include <QString>

#include "ContentDigest.h"

// The local file an upload sends. It is opened without blocking and must be a regular file (a
// fifo or device put in its place is that file's error, never a wait). Its status at the open is
// kept, and once the last chunk has been read it is looked at again: a file whose size, mtime or
// ctime changed meanwhile was rewritten while it went, and the server holds a mix of two
// versions. Every read of the file's bytes goes through Read, which hashes them on the way.
class UploadSource {
public:
    UploadSource() = default;
    ~UploadSource();
    UploadSource(const UploadSource&) = delete;
    UploadSource& operator=(const UploadSource&) = delete;

    // False, with the reason in Error(), when the file cannot be opened or is no regular file.
    bool Open(const QString& path);
    // Up to size bytes of the file; 0 at its end. -1 on a read error, and -1 as well once more
    // bytes came than the file held when it was opened (it grows while it goes: the loop that
    // sends it stays bounded); the reason is in Error().
    qint64 Read(char* data, qint64 size);
    // After Read gave 0: false when the file is no longer what was opened (Changed() is then
    // true) or its status cannot be read.
    bool Unchanged();
    // The file's size when it was opened.
    qint64 Size() const { return opened_.st_size; }
    // The file changed while it was read.
    bool Changed() const { return changed_; }
    QString Error() const { return error_; }
    // Reads the rest of the file without sending it; true when all of it came and it did not
    // change meanwhile (Unchanged).
    bool ReadToEnd();
    // The SHA-256 of every byte read, as hex, once Unchanged() said true; "" before.
    QString Digest() const { return digestHex_; }
    // The file's status when it was opened.
    const struct stat& Opened() const { return opened_; }

private:
    void Close();

    int fd_ = -1;
    struct stat opened_ {};
    qint64 read_ = 0;
    bool changed_ = false;
    QString error_;
    ContentDigest digest_;
    QString digestHex_;
};
