#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// Remote paths as a listing brought them, held compactly: each folder's path once, its entries'
// names in one arena beside it. A lookup asks whether a path is there, comparing without regard
// to letter case and reading "//" as "/" (Key), and needs the folder and the name; it is exact,
// since a false "there" would keep back a file the server lacks.
class RemoteListing {
public:
    // Adds a full path ("/dir/name"); the folder "/dir" need not have been added.
    void Add(const QString& path);
    // A folder with no entries yet (one this run made).
    void AddFolder(const QString& dir);
    // Takes every path of other into this one.
    void Merge(const RemoteListing& other);
    bool Contains(const QString& path) const;
    // Forgets one path (its folder's other entries stay).
    void Remove(const QString& path);
    void Clear();

    // Whether this run knows the folder's whole content, and says so.
    bool IsComplete(const QString& dir) const;
    void MarkComplete(const QString& dir);

    // Entries added, Remove not counted against it.
    qsizetype Size() const { return m_size; }
    bool IsEmpty() const { return m_size == 0; }
    // Bytes held, the hash of folders included: what a limit counts. Cheap to ask.
    qint64 MemoryBytes() const;

    // Each path as it was added (the folder's path as first written, "/" and the name).
    void ForEach(const std::function<void(const QString& path)>& visit) const;
    // All of them, folder by folder in the order they first came: for small listings.
    QStringList Paths() const;

    // The path as compared: "//" read as "/", no "/" at the end but the root's, letters folded.
    static QString Key(QStringView path);

private:
    struct Folder {
        QString path;      // as first written
        QByteArray names;  // UTF-8 names, each ended by a 0 byte
        // Hash of the folded name (high 32 bits) and offset into names (low 32 bits); sorted
        // from `sorted` on only after the next lookup.
        mutable QVector<quint64> index;
        mutable qsizetype sorted = 0;
        bool complete = false;
    };

    Folder& FolderOf(const QString& dir);
    const Folder* Find(const QString& dir) const;
    static void Split(const QString& path, QString* dir, QString* name);
    static quint32 NameHash(const QString& foldedName);
    static qsizetype Locate(const Folder& folder, const QString& name);

    QVector<Folder> m_folders;
    QHash<QString, qsizetype> m_byKey;  // Key(folder path) -> index in m_folders
    qsizetype m_size = 0;
    qint64 m_bytes = 0;  // arenas, indexes and folder records as allocated
};
