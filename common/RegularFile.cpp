#include "RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace RegularFile {

QString KindName(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("fifo");
    if (S_ISSOCK(mode))
        return QStringLiteral("socket");
    if (S_ISCHR(mode))
        return QStringLiteral("character device");
    return S_ISBLK(mode) ? QStringLiteral("block device") : QStringLiteral("special file");
}

QString ErrnoText(int number) {
    return QString::fromLocal8Bit(std::strerror(number)) + QStringLiteral(" (errno ") +
           QString::number(number) + QLatin1Char(')');
}

int OpenForReading(const QString& path, struct stat* st, QString* error) {
    // O_NONBLOCK: a fifo opens at once instead of waiting for a writer; for a regular file it
    // changes nothing. O_NOCTTY: a terminal never becomes ours.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = ErrnoText(errno);
        return -1;
    }
    if (::fstat(fd, st) != 0) {
        *error = ErrnoText(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st->st_mode)) {
        *error = QStringLiteral("not a regular file but a ") + KindName(st->st_mode);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool Open(QFile& file, const QString& path, QString* error) {
    struct stat st {};
    QString reason;
    const int fd = OpenForReading(path, &st, &reason);
    if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    if (fd >= 0) {
        reason = file.errorString();
        ::close(fd);
    }
    if (error)
        *error = reason;
    return false;
}

}  // namespace RegularFile
