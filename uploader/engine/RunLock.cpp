#include "RunLock.h"

#include <cerrno>

#include "AppFiles.h"
#include "RegularFile.h"

RunLock::RunLock() : file_(LockPath()) {
    // A run may last for hours: only a dead holder makes the lock stale, never its age.
    file_.setStaleLockTime(0);
}

QString RunLock::LockPath() {
    return AppFiles::AppFilePath(QStringLiteral(".lock"));
}

bool RunLock::TryLock(qint64* holder, QString* error) {
    if (file_.tryLock(0))
        return true;
    // The failed open() of the lock file is the last call that set it.
    const int openError = errno;
    *holder = -1;
    if (error && file_.error() != QLockFile::LockFailedError)
        *error = RegularFile::ErrnoText(openError);
    if (file_.error() == QLockFile::LockFailedError) {
        QString host, app;
        if (!file_.getLockInfo(holder, &host, &app))
            *holder = 0;
    }
    return false;
}
