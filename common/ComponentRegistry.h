#pragma once

#include <optional>

#include <QString>
#include <QStringList>

// The per-user component registry: which library serves a ProgID. An INI file,
// $XDG_CONFIG_HOME/componentregistry/components.ini (by default ~/.config/...), one section per
// ProgID with the keys "CLSID" and "Library" (an absolute path). Control libraries write their
// own section when they are registered; hosts read it to find them.
namespace ComponentRegistry {

struct Entry {
    QString classId;
    QString library;
};

QString RegistryPath();

std::optional<Entry> Lookup(const QString& progId);

// Writes (or replaces) the ProgID's section; false with the reason in error.
bool Register(const QString& progId, const Entry& entry, QString* error);

enum class UnregisterResult { Removed, NotRegistered, OtherLibrary, Failed };
// Removes the ProgID's section when it names library; a registration of another library stays.
UnregisterResult Unregister(const QString& progId, const QString& library, QString* error);

// "lib" + the ProgID's class (the part after its last full stop) + ".so".
QString LibraryFileName(const QString& progId);

// Where a host looks for the library of a ProgID, in order: the registered library when the
// ProgID is registered (a registration wins), otherwise the library file named after the ProgID
// in each folder below, of which the first that holds one is taken: the installed library folder
// (lib/skerrowex beside the program's bin/, wherever the tree was installed), then the program's
// own folder (a build tree).
QStringList LibraryFolders();
QStringList LibraryCandidates(const QString& progId);

}  // namespace ComponentRegistry
