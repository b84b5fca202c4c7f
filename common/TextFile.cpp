#include "TextFile.h"

#include <QFile>
#include <QSaveFile>

#include "CodePage.h"
#include "RegularFile.h"

namespace TextFile {

bool ReadAll(const QString& path, QByteArray* data, QString* error) {
    data->clear();
    QFile file;
    if (!RegularFile::Open(file, path, error))
        return false;
    *data = file.readAll();
    if (file.error() == QFileDevice::NoError)
        return true;
    if (error)
        *error = file.errorString();
    data->clear();
    return false;
}

QStringList SplitLines(const QByteArray& data) {
    QStringList lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        const bool last = end < 0;
        if (last)
            end = data.size();
        qsizetype len = end - start;
        if (!last && len > 0 && data.at(end - 1) == '\r')
            --len;
        lines.append(CodePage::ToUnicode(data.mid(start, len)));
        start = end + 1;
    }
    return lines;
}

bool ReadLines(const QString& path, QStringList* lines) {
    QByteArray data;
    const bool read = ReadAll(path, &data);
    *lines = SplitLines(data);
    return read;
}

bool WriteLine(QFileDevice& file, const QString& line, QString* error) {
    const QByteArray bytes = CodePage::FromUnicode(line) + "\r\n";
    const bool ok = file.write(bytes) == bytes.size() && file.flush();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

bool AppendLine(const QString& path, const QString& line, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return WriteLine(file, line, error);
}

bool WriteAtomic(const QString& path, const QByteArray& data, QFileDevice::Permissions perms,
                 QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(perms) ||
        file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

void DeleteQuietly(const QString& path) {
    QFile::remove(path);
}

}  // namespace TextFile
