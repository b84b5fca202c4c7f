#include <QFile>

#include "FuzzChecks.h"
#include "ProfileFile.h"

namespace FuzzChecks {

QString ProfileFile(QByteArrayView input) {
    const QString first = InputFile(QStringLiteral("first.dat"), input);
    const QString second = InputFile(QStringLiteral("second.dat"), {});
    if (first.isEmpty() || second.isEmpty())
        return {};
    QList<ProfileRow> rows;
    if (::ProfileFile::Load(first, &rows) != ::ProfileFile::LoadResult::Loaded)
        return QStringLiteral("the file did not load");
    QString error;
    if (!::ProfileFile::Save(second, rows, &error))
        return QStringLiteral("the save failed: ") + error;
    QFile saved(second);
    if (!saved.open(QIODevice::ReadOnly) || saved.readAll() != ::ProfileFile::Compose(rows))
        return QStringLiteral("saved other bytes than Compose gives");
    QList<ProfileRow> again;
    if (::ProfileFile::Load(second, &again) != ::ProfileFile::LoadResult::Loaded || again != rows)
        return QStringLiteral("load, save, load changed the rows");
    return {};
}

}  // namespace FuzzChecks
