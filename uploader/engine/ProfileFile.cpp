#include "ProfileFile.h"

#include "NumericText.h"

#include <QFileInfo>

#include "AppFiles.h"
#include "CodePage.h"
#include "TextFile.h"

namespace {

constexpr int kFields = 6;

QString ComposeLine(const ProfileRow& row) {
    return QStringList{row.Checked ? QStringLiteral("True") : QStringLiteral("False"),
                       row.LocalBaseDir,
                       row.Interval,
                       row.FtpAddress,
                       row.Account,
                       row.Passwd}
        .join(u'\t');
}

}  // namespace

namespace ProfileFile {

QString DefaultPath() {
    return AppFiles::AppFilePath(QStringLiteral(".dat"));
}

QByteArray Compose(const QList<ProfileRow>& rows) {
    QString text;
    for (const ProfileRow& row : rows)
        text += ComposeLine(row) + QStringLiteral("\r\n");
    return CodePage::FromUnicode(text + QStringLiteral("\r\n"));
}

bool ParseChecked(const QString& field) {
    const QString text = field.trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber && number != 0;
}

QList<ProfileRow> ParseLines(const QStringList& lines) {
    QList<ProfileRow> rows;
    for (const QString& line : lines) {
        const QStringList f = line.split(u'\t');
        if (f.size() < kFields)
            continue;
        rows.append({ParseChecked(f[0]), f[1], f[2], f[3], f[4], f[5]});
    }
    return rows;
}

LoadResult Load(const QString& path, QList<ProfileRow>* rows) {
    rows->clear();
    QStringList lines;
    if (!QFileInfo(path).isFile())
        return LoadResult::Absent;
    if (!TextFile::ReadLines(path, &lines))
        return LoadResult::Unreadable;
    *rows = ParseLines(lines);
    return LoadResult::Loaded;
}

bool Save(const QString& path, const QList<ProfileRow>& rows, QString* error) {
    return TextFile::WriteAtomic(path, Compose(rows),
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner, error);
}

Typ_Profile ProfileFromRow(const ProfileRow& row) {
    Typ_Profile profile;
    profile.LocalBaseDir = row.LocalBaseDir;
    profile.FtpDir = row.FtpAddress.mid(6);
    profile.AmbiguousSecond = NumericText::LeadingNumberRounded(row.Interval);
    profile.Passwd = row.Passwd;
    profile.Account = row.Account;
    return profile;
}

}  // namespace ProfileFile
