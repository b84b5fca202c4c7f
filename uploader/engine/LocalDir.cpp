#include "LocalDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "RegularFile.h"

namespace {

struct RawEntry {
    QByteArray raw;
    LocalEntry entry;
};

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// What the entry at name of the open directory fd is.
void Describe(int fd, const char* name, LocalEntry* entry) {
    struct stat st {};
    const bool found = fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    entry->link = found && S_ISLNK(st.st_mode);
    // Only a link needs a second look, at what it leads to: a tree of a million files is spared a
    // million calls.
    if ((!found || entry->link) && fstatat(fd, name, &st, 0) != 0) {
        entry->vanished = errno == ENOENT && !entry->link;
        entry->kind = LocalEntry::Kind::Unreadable;
        entry->detail = SystemError();
    } else if (S_ISREG(st.st_mode)) {
        entry->kind = LocalEntry::Kind::File;
        entry->state = UploadLedger::StateOf(st);
    } else if (S_ISDIR(st.st_mode)) {
        entry->kind = LocalEntry::Kind::Directory;
    } else {
        entry->kind = LocalEntry::Kind::Special;
        entry->detail = RegularFile::KindName(st.st_mode);
    }
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
        Describe(fd, e->d_name, &r.entry);
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
