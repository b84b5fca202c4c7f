#pragma once

#include <QString>
#include <QVector>

class MessageHost;

// One row of the name conversion table: a whole remote path segment and its replacement.
struct Typ_ConvName {
    QString FromName;
    QString ToName;
};

// The loaded table, rows in file order; lngConvCount == 0 means no conversion.
struct Typ_ConvTable {
    QVector<Typ_ConvName> udtConvTable;
    qint32 lngConvCount = 0;
};

namespace ConvTable {

// SkerrowEx.require_conv.txt in the application folder: the names that need a table row.
QString RequireConvPath();

// Rebuilds the table from the file at path (code page text, lines ended by CR LF or LF). A line
// is a row when its first TAB is not its last character: FromName before it (may be empty),
// ToName after it. An empty path, or a file that cannot be read, gives an empty table.
void LoadConvTable(Typ_ConvTable& table, const QString& path);

// Replaces every whole "/"-separated segment equal (in upper case) to a row's FromName by its
// ToName. Rows apply in order, each to the result of the ones before.
QString ConvertRemoteName(const Typ_ConvTable& table, const QString& remotePath);

// Appends the path's last segment (a trailing "/" dropped first; backslashes are kept) as one
// line to the list file, written as in the run log (Fun_Error_Success::LogText). False, with the
// reason in *error, when it cannot be written.
bool AddRequireConv(const QString& path, QString* error = nullptr);

// The help message about the table (information icon, OK, application title).
void HelpConvTable(MessageHost& host);

}  // namespace ConvTable
