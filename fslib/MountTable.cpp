#include "MountTable.h"

#include <QDir>
#include <QFile>

namespace {

// mountinfo writes blanks, tabs, newlines and backslashes of a mount point as \ooo.
QString Unescape(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        bool ok = false;
        const int code =
            field[i] == '\\' && i + 3 < field.size() ? field.mid(i + 1, 3).toInt(&ok, 8) : 0;
        if (ok) {
            out.append(static_cast<char>(code));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return QFile::decodeName(out);
}

bool Holds(const QString& mountPoint, const QString& path) {
    return mountPoint == QLatin1String("/") || path == mountPoint ||
           path.startsWith(mountPoint + QLatin1Char('/'));
}

}  // namespace

namespace MountTable {

QString MountPointOf(const QString& absolutePath) {
    const QString path = QDir::cleanPath(absolutePath);
    QString best = QStringLiteral("/");
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return best;
    // Lines: id, parent id, major:minor, root, mount point, options ...
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        const QString mountPoint = Unescape(fields[4]);
        if (mountPoint.size() > best.size() && Holds(mountPoint, path))
            best = mountPoint;
    }
    return best;
}

}  // namespace MountTable
