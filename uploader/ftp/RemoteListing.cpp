#include "RemoteListing.h"

#include <algorithm>
#include <limits>

namespace {

// What a folder costs beyond its names: its record, its path twice (as written and as a key) and
// its place in the hash, as counted for a limit.
constexpr qint64 kFolderOverhead = sizeof(QString) * 2 + 96;
constexpr qint64 kIndexEntry = sizeof(quint64);

// Already as compared: no "//", no "/" at the end but the root's (nearly every path is).
bool IsNormal(QStringView path) {
    return !path.contains(u"//") && !(path.size() > 1 && path.endsWith(u'/'));
}

// "//" read as "/", no "/" at the end but the root's.
QString Normalized(QStringView path) {
    QString out;
    out.reserve(path.size());
    for (const QChar c : path) {
        if (c == QLatin1Char('/') && out.endsWith(QLatin1Char('/')))
            continue;
        out.append(c);
    }
    if (out.size() > 1 && out.endsWith(QLatin1Char('/')))
        out.chop(1);
    return out;
}

QString Join(const QString& dir, const QString& name) {
    if (dir.isEmpty())
        return name;
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

}  // namespace

QString RemoteListing::Key(QStringView path) {
    return (IsNormal(path) ? path.toString() : Normalized(path)).toCaseFolded();
}

void RemoteListing::Split(const QString& path, QString* dir, QString* name) {
    const QString n = IsNormal(path) ? path : Normalized(path);
    const qsizetype slash = n.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || n.size() == 1) {
        *dir = QString();
        *name = n;
    } else {
        *dir = slash == 0 ? QStringLiteral("/") : n.left(slash);
        *name = n.mid(slash + 1);
    }
}

quint32 RemoteListing::NameHash(const QString& foldedName) {
    return static_cast<quint32>(qHash(QStringView(foldedName), 0));
}

RemoteListing::Folder& RemoteListing::FolderOf(const QString& dir) {
    const QString key = Key(dir);
    const auto it = m_byKey.constFind(key);
    if (it != m_byKey.constEnd())
        return m_folders[*it];
    m_byKey.insert(key, m_folders.size());
    m_folders.append(Folder{dir, {}, {}, 0, false});
    m_bytes += kFolderOverhead + 4 * dir.size();
    return m_folders.last();
}

const RemoteListing::Folder* RemoteListing::Find(const QString& dir) const {
    const auto it = m_byKey.constFind(Key(dir));
    return it == m_byKey.constEnd() ? nullptr : &m_folders.at(*it);
}

void RemoteListing::Add(const QString& path) {
    QString dir;
    QString name;
    Split(path, &dir, &name);
    // No file of any server has a NUL in its name, and the arena ends names with one.
    if (name.isEmpty() || name.contains(QChar()))
        return;
    Folder& folder = FolderOf(dir);
    const QByteArray utf8 = name.toUtf8();
    if (folder.names.size() + utf8.size() >= std::numeric_limits<quint32>::max())
        return;
    const qint64 before = folder.names.capacity() + folder.index.capacity() * kIndexEntry;
    const quint64 offset = static_cast<quint64>(folder.names.size());
    folder.names.append(utf8);
    folder.names.append('\0');
    folder.index.append(quint64{NameHash(name.toCaseFolded())} << 32 | offset);
    m_bytes += folder.names.capacity() + folder.index.capacity() * kIndexEntry - before;
    ++m_size;
}

void RemoteListing::AddFolder(const QString& dir) {
    QString normalized = Normalized(dir);
    FolderOf(normalized);
}

void RemoteListing::Merge(const RemoteListing& other) {
    other.ForEach([this](const QString& path) { Add(path); });
}

qsizetype RemoteListing::Locate(const Folder& folder, const QString& name) {
    if (folder.sorted < folder.index.size()) {
        std::sort(folder.index.begin(), folder.index.end());
        folder.sorted = folder.index.size();
    }
    const QString folded = name.toCaseFolded();
    const quint64 hash = quint64{NameHash(folded)} << 32;
    auto it = std::lower_bound(folder.index.cbegin(), folder.index.cend(), hash);
    for (; it != folder.index.cend() && (*it & ~quint64{0xFFFFFFFF}) == hash; ++it) {
        const char* stored = folder.names.constData() + (*it & 0xFFFFFFFF);
        if (QString::fromUtf8(stored).toCaseFolded() == folded)
            return it - folder.index.cbegin();
    }
    return -1;
}

bool RemoteListing::Contains(const QString& path) const {
    QString dir;
    QString name;
    Split(path, &dir, &name);
    const Folder* folder = Find(dir);
    return folder && !name.isEmpty() && Locate(*folder, name) >= 0;
}

void RemoteListing::Remove(const QString& path) {
    QString dir;
    QString name;
    Split(path, &dir, &name);
    const auto it = m_byKey.constFind(Key(dir));
    if (it == m_byKey.constEnd())
        return;
    Folder& folder = m_folders[*it];
    const qsizetype at = Locate(folder, name);
    if (at < 0)
        return;
    // The name's bytes stay in the arena: a part is rare, and offsets must not move.
    folder.index.remove(at);
    folder.sorted = folder.index.size();
}

void RemoteListing::Clear() {
    *this = RemoteListing();
}

bool RemoteListing::IsComplete(const QString& dir) const {
    const Folder* folder = Find(dir);
    return folder && folder->complete;
}

void RemoteListing::MarkComplete(const QString& dir) {
    FolderOf(Normalized(dir)).complete = true;
}

qint64 RemoteListing::MemoryBytes() const {
    return m_bytes + m_folders.capacity() * qint64{sizeof(Folder)} + m_byKey.capacity();
}

void RemoteListing::ForEach(const std::function<void(const QString& path)>& visit) const {
    for (const Folder& folder : m_folders) {
        // In the order they were added: the offsets rise with it.
        QVector<quint32> offsets;
        offsets.reserve(folder.index.size());
        for (const quint64 entry : folder.index)
            offsets.append(static_cast<quint32>(entry & 0xFFFFFFFF));
        std::sort(offsets.begin(), offsets.end());
        for (const quint32 offset : offsets)
            visit(Join(folder.path, QString::fromUtf8(folder.names.constData() + offset)));
    }
}

QStringList RemoteListing::Paths() const {
    QStringList paths;
    paths.reserve(m_size);
    ForEach([&paths](const QString& path) { paths.append(path); });
    return paths;
}
