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
    QList<QByteArray> kept;
    if (::ProfileFile::Load(first, &rows, nullptr, &kept) != ::ProfileFile::LoadResult::Loaded)
        return QStringLiteral("the file did not load");
    QString error;
    if (!::ProfileFile::Save(second, rows, &error, nullptr, kept))
        return QStringLiteral("the save failed: ") + error;
    QFile saved(second);
    if (!saved.open(QIODevice::ReadOnly) || saved.readAll() != ::ProfileFile::Compose(rows, kept))
        return QStringLiteral("saved other bytes than Compose gives");
    QList<ProfileRow> again;
    QList<QByteArray> keptAgain;
    if (::ProfileFile::Load(second, &again, nullptr, &keptAgain) !=
            ::ProfileFile::LoadResult::Loaded ||
        again != rows || keptAgain != kept)
        return QStringLiteral("load, save, load changed the rows or the kept lines");
    return {};
}

}  // namespace FuzzChecks
