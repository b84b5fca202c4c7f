#pragma once

#include <QLockFile>
#include <QString>

// One run at a time per user, across processes: the lock file SkerrowEx.lock in the application
// folder, held for the length of a run. The system frees it when its process dies, so a killed
// run never blocks the next one.
class RunLock {
public:
    RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // True when this object now holds the lock. False at once when another run holds it
    // (*holder = its process id, 0 when unknown) or the lock file cannot be made (*holder = -1,
    // the system's words for why in *error).
    bool TryLock(qint64* holder, QString* error = nullptr);

    static QString LockPath();

private:
    QLockFile file_;
};
