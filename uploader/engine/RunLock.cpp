#include "RunLock.h"

#include "AppFiles.h"

RunLock::RunLock() : file_(LockPath()) {
    // A run may last for hours: only a dead holder makes the lock stale, never its age.
    file_.setStaleLockTime(0);
}

QString RunLock::LockPath() {
    return AppFiles::AppFilePath(QStringLiteral(".lock"));
}

bool RunLock::TryLock(qint64* holder) {
    if (file_.tryLock(0))
        return true;
    *holder = -1;
    if (file_.error() == QLockFile::LockFailedError) {
        QString host, app;
        if (!file_.getLockInfo(holder, &host, &app))
            *holder = 0;
    }
    return false;
}
