#include "LocalDir.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

struct RawEntry {
    QByteArray raw;
    LocalEntry entry;
};

LocalEntry::Kind KindOf(const struct stat& st) {
    if (S_ISREG(st.st_mode))
        return LocalEntry::Kind::File;
    if (S_ISDIR(st.st_mode))
        return LocalEntry::Kind::Directory;
    return LocalEntry::Kind::Other;
}

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

namespace LocalDir {

bool List(const QString& dir, QVector<LocalEntry>* entries, QString* error) {
    entries->clear();
    const QByteArray encodedDir = QFile::encodeName(dir);
    DIR* d = opendir(encodedDir.constData());
    if (!d) {
        *error = SystemError();
        return false;
    }
    const int fd = dirfd(d);
    std::vector<RawEntry> raw;
    while (const dirent* e = readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        RawEntry r;
        r.raw = name;
        r.entry.name = QFile::decodeName(name);
        r.entry.nameValid = QFile::encodeName(r.entry.name) == name;
        struct stat st {};
        if (fstatat(fd, e->d_name, &st, 0) == 0) {
            r.entry.kind = KindOf(st);
            r.entry.device = static_cast<quint64>(st.st_dev);
            r.entry.inode = static_cast<quint64>(st.st_ino);
        }
        raw.push_back(std::move(r));
    }
    closedir(d);
    std::sort(raw.begin(), raw.end(),
              [](const RawEntry& a, const RawEntry& b) { return a.raw < b.raw; });
    entries->reserve(static_cast<qsizetype>(raw.size()));
    for (RawEntry& r : raw)
        entries->append(std::move(r.entry));
    return true;
}

bool Identity(const QString& dir, quint64* device, quint64* inode, QString* error) {
    struct stat st {};
    if (stat(QFile::encodeName(dir).constData(), &st) != 0) {
        *error = SystemError();
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = QString::fromLocal8Bit(std::strerror(ENOTDIR));
        return false;
    }
    *device = static_cast<quint64>(st.st_dev);
    *inode = static_cast<quint64>(st.st_ino);
    return true;
}

}  // namespace LocalDir
