#include "ComponentRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "API_IniFileAccess.h"

namespace {

const QString kClassIdKey = QStringLiteral("CLSID");
const QString kLibraryKey = QStringLiteral("Library");

}  // namespace

namespace ComponentRegistry {

QString RegistryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/componentregistry/components.ini");
}

std::optional<Entry> Lookup(const QString& progId) {
    Entry entry;
    if (!API_IniFileAccess::IniRead(progId, entry.library, kLibraryKey, RegistryPath()))
        return std::nullopt;
    API_IniFileAccess::IniRead(progId, entry.classId, kClassIdKey, RegistryPath());
    return entry;
}

bool Register(const QString& progId, const Entry& entry, QString* error) {
    const QString path = RegistryPath();
    if (!QDir().mkpath(QFileInfo(path).path())) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).path());
        return false;
    }
    const QString entries = kClassIdKey + u'=' + entry.classId + QChar(0) + kLibraryKey + u'=' +
                            QFileInfo(entry.library).absoluteFilePath();
    QString reason;
    if (API_IniFileAccess::IniWrite(progId, entries, std::nullopt, path, false, &reason))
        return true;
    if (error)
        *error =
            QStringLiteral("cannot write %1: %2")
                .arg(path, reason.isEmpty() ? QStringLiteral("the file is read-only") : reason);
    return false;
}

UnregisterResult Unregister(const QString& progId, const QString& library, QString* error) {
    const std::optional<Entry> entry = Lookup(progId);
    if (!entry)
        return UnregisterResult::NotRegistered;
    if (QFileInfo(entry->library).absoluteFilePath() != QFileInfo(library).absoluteFilePath()) {
        if (error)
            *error = entry->library;
        return UnregisterResult::OtherLibrary;
    }
    QString reason;
    if (API_IniFileAccess::IniDeleteSection(progId, RegistryPath(), &reason))
        return UnregisterResult::Removed;
    if (error)
        *error = QStringLiteral("cannot write %1: %2").arg(RegistryPath(), reason);
    return UnregisterResult::Failed;
}

QString LibraryFileName(const QString& progId) {
    return QStringLiteral("lib") + progId.section(u'.', -1) + QStringLiteral(".so");
}

QStringList LibraryFolders() {
    const QString programs = QCoreApplication::applicationDirPath();
    return {QDir::cleanPath(programs + u'/' + QStringLiteral(SKERROWEX_INSTALLED_LIBRARIES)),
            programs};
}

QStringList LibraryCandidates(const QString& progId) {
    if (const std::optional<Entry> entry = Lookup(progId))
        return {entry->library};
    QStringList candidates;
    for (const QString& folder : LibraryFolders())
        candidates.append(folder + u'/' + LibraryFileName(progId));
    return candidates;
}

}  // namespace ComponentRegistry
