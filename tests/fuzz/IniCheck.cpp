#include <QFile>
#include <QList>

#include "API_IniFileAccess.h"
#include "FuzzChecks.h"

namespace {

// The file's lines, each with its line end.
QList<QByteArray> Lines(const QByteArray& data) {
    QList<QByteArray> lines;
    for (qsizetype start = 0; start < data.size();) {
        const qsizetype newline = data.indexOf('\n', start);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        lines.append(data.mid(start, end - start));
        start = end;
    }
    return lines;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

namespace FuzzChecks {

QString Ini(QByteArrayView input) {
    // One path for the process: the module remembers every path it has checked.
    const QString path = InputFile(QStringLiteral("fuzz.ini"), input);
    if (path.isEmpty())
        return {};
    static const QString kSections[] = {QStringLiteral("Setting"), QStringLiteral("a"),
                                        QStringLiteral("S p")};
    static const QString kKeys[] = {QStringLiteral("ReplyTimeoutSec"), QStringLiteral("k"),
                                    QStringLiteral("K")};
    const unsigned choice = input.isEmpty() ? 0 : static_cast<unsigned char>(input[0]);
    const QString& section = kSections[choice % 3];
    const QString& key = kKeys[choice / 3 % 3];
    const QString value = QStringLiteral("fuzzed value");

    QString whole;
    API_IniFileAccess::IniRead(section, whole, std::nullopt, path);
    // A file with NUL bytes is no text file: the write is refused and the file left as it was.
    if (input.contains('\0')) {
        if (API_IniFileAccess::IniWrite(section, value, key, path) ||
            ReadFile(path) != input.toByteArray())
            return QStringLiteral("a file with NUL bytes was written");
        return {};
    }
    if (!API_IniFileAccess::IniWrite(section, value, key, path))
        return QStringLiteral("the write failed");
    QString read;
    if (!API_IniFileAccess::IniRead(section, read, key, path) || read != value)
        return QStringLiteral("the key reads back as \"%1\"").arg(read);

    // Past the common start and end, one old line at most (the key's, or the last one given its
    // line end) and three new ones (header, key, that line).
    const QList<QByteArray> before = Lines(input.toByteArray());
    const QList<QByteArray> after = Lines(ReadFile(path));
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    if (before.size() - head - tail > 1 || after.size() - head - tail > 3)
        return QStringLiteral("lines the write did not touch changed");
    return {};
}

}  // namespace FuzzChecks
