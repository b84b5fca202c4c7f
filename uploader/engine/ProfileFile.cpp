#include "ProfileFile.h"

#include "NumericText.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include "AppFiles.h"
#include "CodePage.h"
#include "TextFile.h"

namespace {

constexpr int kFields = 6;
const QByteArray kUnreadableStamp = QByteArrayLiteral("unreadable");

// The same bytes give the same stamp, whenever and however fast they were written.
QByteArray StampOf(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

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

LoadResult Load(const QString& path, QList<ProfileRow>* rows, QByteArray* stamp) {
    rows->clear();
    if (stamp)
        stamp->clear();
    if (!QFileInfo(path).isFile())
        return LoadResult::Absent;
    QByteArray data;
    const bool read = TextFile::ReadAll(path, &data);
    if (stamp)
        *stamp = read ? StampOf(data) : kUnreadableStamp;
    if (!read)
        return LoadResult::Unreadable;
    *rows = ParseLines(TextFile::SplitLines(data));
    return LoadResult::Loaded;
}

QByteArray Stamp(const QString& path) {
    if (!QFileInfo(path).isFile())
        return QByteArray();
    QByteArray data;
    return TextFile::ReadAll(path, &data) ? StampOf(data) : kUnreadableStamp;
}

bool Save(const QString& path, const QList<ProfileRow>& rows, QString* error, QByteArray* stamp) {
    const QByteArray data = Compose(rows);
    if (!TextFile::WriteAtomic(path, data, QFileDevice::ReadOwner | QFileDevice::WriteOwner, error))
        return false;
    if (stamp)
        *stamp = StampOf(data);
    return true;
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
