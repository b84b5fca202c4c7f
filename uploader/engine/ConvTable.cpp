#include "ConvTable.h"

#include <QStringList>

#include "AppFiles.h"
#include "ConvTableHelp.h"
#include "Fun_Error_Success.h"
#include "MessageHost.h"
#include "TextFile.h"

namespace ConvTable {

namespace {

// A row needs its first TAB somewhere before the line's last character.
bool ParseRow(const QString& line, Typ_ConvName* row) {
    if (line.isEmpty() || line.at(0).unicode() == 0)
        return false;
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    if (tab < 0 || tab >= line.size() - 1)
        return false;
    row->FromName = line.left(tab);
    row->ToName = line.mid(tab + 1);
    return true;
}

}  // namespace

QString RequireConvPath() {
    return AppFiles::AppFilePath(QStringLiteral(".require_conv.txt"));
}

void LoadConvTable(Typ_ConvTable& table, const QString& path) {
    table.lngConvCount = 0;
    table.udtConvTable.clear();
    QStringList lines;
    if (path.isEmpty() || !TextFile::ReadLines(path, &lines))
        return;
    for (const QString& line : lines) {
        Typ_ConvName row;
        if (ParseRow(line, &row))
            table.udtConvTable.append(row);
    }
    table.lngConvCount = qint32(table.udtConvTable.size());
}

QString ConvertRemoteName(const Typ_ConvTable& table, const QString& remotePath) {
    const qsizetype rows = qMin(qsizetype(table.lngConvCount), table.udtConvTable.size());
    if (rows <= 0)
        return remotePath;
    QStringList segments = remotePath.split(QLatin1Char('/'));
    for (QString& segment : segments) {
        for (qsizetype r = 0; r < rows; ++r) {
            const Typ_ConvName& row = table.udtConvTable.at(r);
            if (segment.toUpper() == row.FromName.toUpper())
                segment = row.ToName;
        }
    }
    return segments.join(QLatin1Char('/'));
}

bool AddRequireConv(const QString& path, QString* error) {
    QString name = path;
    if (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    return TextFile::AppendLine(RequireConvPath(), Fun_Error_Success::LogText(name), error);
}

void HelpConvTable(MessageHost& host) {
    host.ShowMessage(ConvTableHelpText(), MsgIcon::Information, MsgButtons::Ok);
}

}  // namespace ConvTable
