#include "ProfileFile.h"

#include "NumericText.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include "AppFiles.h"
#include "CodePage.h"
#include "FtpAddress.h"
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

QByteArray Compose(const QList<ProfileRow>& rows, const QList<QByteArray>& kept) {
    QString text;
    for (const ProfileRow& row : rows)
        text += ComposeLine(row) + QStringLiteral("\r\n");
    QByteArray data = CodePage::FromUnicode(text);
    for (const QByteArray& line : kept)
        data += line + "\r\n";
    return data + "\r\n";
}

bool ParseChecked(const QString& field) {
    const QString text = field.trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber && number != 0;
}

void Parse(const QByteArray& data, QList<ProfileRow>* rows, QList<QByteArray>* kept) {
    rows->clear();
    kept->clear();
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        const qsizetype next = end < 0 ? data.size() : end + 1;
        if (end < 0)
            end = data.size();
        else if (end > start && data.at(end - 1) == '\r')
            --end;
        const QByteArray bytes = data.mid(start, end - start);
        start = next;
        if (bytes.isEmpty())
            continue;
        const QString line = CodePage::ToUnicode(bytes);
        const QStringList f = line.split(u'\t');
        if (f.size() < kFields || CodePage::FromUnicode(line) != bytes) {
            kept->append(bytes);
            continue;
        }
        rows->append({ParseChecked(f[0]), f[1], f[2], f[3], f[4], f.mid(kFields - 1).join(u'\t')});
    }
}

LoadResult Load(const QString& path, QList<ProfileRow>* rows, QByteArray* stamp,
                QList<QByteArray>* kept) {
    QList<QByteArray> keptLines;
    rows->clear();
    if (kept)
        kept->clear();
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
    Parse(data, rows, kept ? kept : &keptLines);
    return LoadResult::Loaded;
}

QByteArray Stamp(const QString& path) {
    if (!QFileInfo(path).isFile())
        return QByteArray();
    QByteArray data;
    return TextFile::ReadAll(path, &data) ? StampOf(data) : kUnreadableStamp;
}

bool Save(const QString& path, const QList<ProfileRow>& rows, QString* error, QByteArray* stamp,
          const QList<QByteArray>& kept) {
    const QByteArray data = Compose(rows, kept);
    if (!TextFile::WriteAtomic(path, data, QFileDevice::ReadOwner | QFileDevice::WriteOwner, error))
        return false;
    if (stamp)
        *stamp = StampOf(data);
    return true;
}

Typ_Profile ProfileFromRow(const ProfileRow& row) {
    Typ_Profile profile;
    profile.LocalBaseDir = row.LocalBaseDir;
    profile.FtpDir = FtpDirOfColumn(row.FtpAddress);
    profile.AmbiguousSecond = NumericText::LeadingNumberRounded(row.Interval);
    profile.Passwd = row.Passwd;
    profile.Account = row.Account;
    return profile;
}

}  // namespace ProfileFile
