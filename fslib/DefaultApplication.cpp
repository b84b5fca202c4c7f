#include "DefaultApplication.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>

namespace {

// The value of key in [section] of a desktop-entry style file; empty when absent.
QString EntryValue(const QString& file, const QString& section, const QString& key) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    bool inSection = false;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QLatin1Char('[') + section + QLatin1Char(']');
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inSection && eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return QString();
}

// The MIME-apps lists in the order freedesktop.org says to read them: desktop-specific first, the
// user's configuration, the system's, then the application folders (old defaults.list last).
QStringList MimeAppsLists() {
    QStringList desktops;
    for (const QString& d : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':')))
        if (!d.isEmpty())
            desktops << d.toLower() + QStringLiteral("-mimeapps.list");
    const QStringList names = desktops + QStringList{QStringLiteral("mimeapps.list")};
    QStringList lists;
    for (const auto location :
         {QStandardPaths::GenericConfigLocation, QStandardPaths::ApplicationsLocation})
        for (const QString& dir : QStandardPaths::standardLocations(location))
            for (const QString& name : names)
                lists << dir + QLatin1Char('/') + name;
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        lists << dir + QStringLiteral("/defaults.list");
    return lists;
}

// The installed file of a desktop id ("org.example-viewer.desktop" may also live in
// "org/example-viewer.desktop" below an application folder).
QString DesktopFile(const QString& id) {
    QString nested = id;
    const qsizetype dash = id.indexOf(QLatin1Char('-'));
    if (dash > 0)
        nested[dash] = QLatin1Char('/');
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        for (const QString& candidate : {id, nested})
            if (QFileInfo::exists(dir + QLatin1Char('/') + candidate))
                return dir + QLatin1Char('/') + candidate;
    return QString();
}

// The program (first word) of an Exec value: double quotes group, a backslash escapes.
QString ExecProgram(const QString& exec) {
    QString word;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
            word += exec[++i];
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c.isSpace() && !quoted) {
            if (!word.isEmpty())
                break;
        } else {
            word += c;
        }
    }
    if (word.isEmpty())
        return QString();
    if (word.startsWith(QLatin1Char('/')))
        return QFileInfo(word).isExecutable() ? word : QString();
    return QStandardPaths::findExecutable(word);
}

QString ProgramOfType(const QString& type, const QStringList& lists) {
    for (const QString& list : lists) {
        const QString ids = EntryValue(list, QStringLiteral("Default Applications"), type);
        for (const QString& id : ids.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString file = DesktopFile(id.trimmed());
            if (file.isEmpty())
                continue;
            const QString program = ExecProgram(
                EntryValue(file, QStringLiteral("Desktop Entry"), QStringLiteral("Exec")));
            if (!program.isEmpty())
                return program;
        }
    }
    return QString();
}

}  // namespace

namespace DefaultApplication {

QString ProgramFor(const QString& documentPath) {
    if (!QFileInfo(documentPath).isFile())
        return QString();
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(documentPath);
    const QStringList lists = MimeAppsLists();
    for (const QString& type : QStringList{mime.name()} + mime.aliases() + mime.allAncestors()) {
        const QString program = ProgramOfType(type, lists);
        if (!program.isEmpty())
            return program;
    }
    return QString();
}

}  // namespace DefaultApplication
