#include <QStringList>

#include "FuzzChecks.h"
#include "RemoteListParser.h"

namespace {

struct Read {
    QStringList entries;
    bool sawHeader = false;
    QString fault;
    bool operator==(const Read&) const = default;
};

Read Parse(RemoteListParser::Form form, const QString& dir, QByteArrayView data, qsizetype piece) {
    RemoteListParser listing(form, dir);
    bool ok = true;
    for (qsizetype at = 0; ok && at < data.size(); at += piece)
        ok = listing.Feed(data.sliced(at, qMin(piece, data.size() - at)));
    if (ok)
        listing.Finish();
    return {listing.Entries().Paths(), listing.SawHeader(), listing.Fault()};
}

// The path's steps, "//" and a trailing "/" not counting, letter case ignored.
QStringList Steps(const QString& path) {
    return path.toCaseFolded().split(u'/', Qt::SkipEmptyParts);
}

QString Problem(const QString& entry, const QString& dir) {
    if (entry.contains(u'\r') || entry.contains(u'\n'))
        return QStringLiteral("a path with CR or LF");
    const QStringList steps = Steps(entry);
    if (steps.contains(QStringLiteral(".")) || steps.contains(QStringLiteral("..")))
        return QStringLiteral("a path with a dot step");
    if (!entry.startsWith(u'/') || steps.mid(0, Steps(dir).size()) != Steps(dir))
        return QStringLiteral("a path outside the listed folder");
    return {};
}

}  // namespace

namespace FuzzChecks {

QString Listing(QByteArrayView input) {
    if (input.size() < 2)
        return {};
    static const RemoteListParser::Form kForms[] = {RemoteListParser::Form::Recursive,
                                                    RemoteListParser::Form::Names,
                                                    RemoteListParser::Form::Machine};
    static const QString kDirs[] = {QStringLiteral("/"), QStringLiteral("/base"),
                                    QStringLiteral("/base/dir with blanks"),
                                    QStringLiteral("//Base/")};
    const auto form = kForms[static_cast<unsigned char>(input[0]) % 3];
    const QString& dir = kDirs[static_cast<unsigned char>(input[1]) % 4];
    const QByteArrayView data = input.sliced(2);

    const Read whole = Parse(form, dir, data, qMax<qsizetype>(data.size(), 1));
    for (const QString& entry : whole.entries) {
        const QString problem = Problem(entry, dir);
        if (!problem.isEmpty())
            return problem + QStringLiteral(": ") + entry;
    }
    for (const qsizetype piece : {1, 7, 64}) {
        if (Parse(form, dir, data, piece) != whole)
            return QStringLiteral("read differently in pieces of %1").arg(piece);
    }
    return {};
}

}  // namespace FuzzChecks
