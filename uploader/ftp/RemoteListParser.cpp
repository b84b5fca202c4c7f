#include "RemoteListParser.h"

namespace {

// The text's lines with every CR removed, empty ones left out.
QStringList Lines(const QString& text) {
    QString plain = text;
    plain.remove(QLatin1Char('\r'));
    return plain.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString LastSegment(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool IsDotName(const QString& name) {
    return name == QLatin1String(".") || name == QLatin1String("..");
}

}  // namespace

namespace RemoteListParser {

QStringList ParseRecursive(const QString& text, bool* sawHeader) {
    QStringList entries;
    QString current;
    *sawHeader = false;
    for (const QString& line : Lines(text)) {
        if (IsDotName(LastSegment(line)))
            continue;
        if (line.size() > 1 && line.startsWith(QLatin1Char('/')) &&
            line.endsWith(QLatin1Char(':'))) {
            current = line.chopped(1);
            entries.append(current);
            *sawHeader = true;
        } else if (!current.isEmpty()) {
            entries.append(line.startsWith(QLatin1Char('/')) ? line : current + u'/' + line);
        }
    }
    return entries;
}

QStringList ParseNameList(const QString& dir, const QString& text) {
    QStringList entries;
    for (const QString& line : Lines(text)) {
        const QString name = LastSegment(line);
        if (!name.isEmpty() && !IsDotName(name))
            entries.append(dir + u'/' + name);
    }
    return entries;
}

QStringList ParseMachineList(const QString& dir, const QString& text) {
    QStringList entries;
    for (const QString& line : Lines(text)) {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        if (blank < 0)
            continue;
        const QString facts = line.left(blank).toLower();
        const QString name = line.mid(blank + 1);
        const bool selfOrParent = facts.contains(QLatin1String("type=cdir")) ||
                                  facts.contains(QLatin1String("type=pdir"));
        if (!selfOrParent && !name.isEmpty() && !IsDotName(name))
            entries.append(dir + u'/' + name);
    }
    return entries;
}

bool FeatOffersMlsd(const QString& featReply) {
    for (const QString& line : Lines(featReply)) {
        if (line.trimmed().startsWith(QLatin1String("MLST"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

}  // namespace RemoteListParser
