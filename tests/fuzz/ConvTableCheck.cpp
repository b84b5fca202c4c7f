#include <QFile>
#include <QStringList>

#include "ConvTable.h"
#include "FuzzChecks.h"

namespace FuzzChecks {

QString ConvTable(QByteArrayView input) {
    const QString path = InputFile(QStringLiteral("table.txt"), input);
    if (path.isEmpty())
        return {};
    Typ_ConvTable table;
    Typ_ConvTable again;
    ::ConvTable::LoadConvTable(table, path);
    ::ConvTable::LoadConvTable(again, path);
    if (table.lngConvCount != table.udtConvTable.size() || again.lngConvCount != table.lngConvCount)
        return QStringLiteral("a count that is not the rows'");
    QStringList names;
    for (qsizetype r = 0; r < table.udtConvTable.size(); ++r) {
        const Typ_ConvName& row = table.udtConvTable.at(r);
        const Typ_ConvName& same = again.udtConvTable.at(r);
        if (row.FromName != same.FromName || row.ToName != same.ToName)
            return QStringLiteral("loaded differently the second time");
        if (row.FromName.contains(u'\t') || row.ToName.isEmpty() || row.FromName.contains(u'\n') ||
            row.ToName.contains(u'\n'))
            return QStringLiteral("a row of the wrong shape");
        names.append(row.FromName.toUpper());
    }
    // Every name of the table in one path; then paths that no row names, which must stay.
    ::ConvTable::ConvertRemoteName(table, u'/' + names.join(u'/'));
    for (const QString& remote : {QStringLiteral("/www/a b"), QStringLiteral("www"),
                                  QStringLiteral("/"), QStringLiteral("//x//")}) {
        bool named = false;
        for (const QString& segment : remote.split(u'/'))
            named = named || names.contains(segment.toUpper());
        if (!named && ::ConvTable::ConvertRemoteName(table, remote) != remote)
            return QStringLiteral("a path that no row names was changed: ") + remote;
    }
    return {};
}

}  // namespace FuzzChecks
