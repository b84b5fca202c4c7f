#include "RemoteListParser.h"

#include "CodePage.h"
#include "FtpLimits.h"

namespace {

QStringView LastSegment(QStringView path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool IsDotName(QStringView name) {
    return name == QLatin1String(".") || name == QLatin1String("..");
}

bool HasDotStep(QStringView path) {
    for (const QStringView step : path.tokenize(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (IsDotName(step))
            return true;
    }
    return false;
}

// The path is the folder itself or lies below it (the folder given by its key).
bool IsAtOrBelow(QStringView path, const QString& folderKey) {
    const QString key = RemoteListing::Key(path);
    if (key == folderKey)
        return true;
    return key.startsWith(folderKey) &&
           (folderKey.endsWith(QLatin1Char('/')) || key.at(folderKey.size()) == QLatin1Char('/'));
}

QString Join(QStringView dir, QStringView name) {
    QString path;
    path.reserve(dir.size() + 1 + name.size());
    path.append(dir);
    path.append(QLatin1Char('/'));
    path.append(name);
    return path;
}

}  // namespace

RemoteListParser::RemoteListParser(Form form, const QString& dir)
    : m_form(form), m_dir(dir), m_dirKey(RemoteListing::Key(dir)) {}

bool RemoteListParser::Feed(QByteArrayView bytes) {
    if (!m_fault.isEmpty())
        return false;
    m_received += bytes.size();
    if (m_received > FtpLimits::kMaxListingBytes)
        return Fail(
            QStringLiteral("a listing of more than %1 bytes").arg(FtpLimits::kMaxListingBytes));
    const qsizetype lastNewline = bytes.lastIndexOf('\n');
    if (lastNewline < 0) {
        if (m_partial.size() + bytes.size() > FtpLimits::kMaxLine)
            return Fail(
                QStringLiteral("a listing line longer than %1 bytes").arg(FtpLimits::kMaxLine));
        m_partial.append(bytes);
        return true;
    }
    QByteArray block = std::move(m_partial);
    block.append(bytes.first(lastNewline + 1));
    m_partial = bytes.sliced(lastNewline + 1).toByteArray();
    if (m_partial.size() > FtpLimits::kMaxLine)
        return Fail(QStringLiteral("a listing line longer than %1 bytes").arg(FtpLimits::kMaxLine));
    return ReadLines(block);
}

bool RemoteListParser::Finish() {
    if (!m_fault.isEmpty())
        return false;
    const QByteArray last = std::move(m_partial);
    m_partial.clear();
    return ReadLines(last);
}

bool RemoteListParser::ReadLines(const QByteArray& block) {
    for (qsizetype from = 0; from < block.size();) {
        qsizetype end = block.indexOf('\n', from);
        if (end < 0)
            end = block.size();
        if (end - from > FtpLimits::kMaxLine)
            return Fail(
                QStringLiteral("a listing line longer than %1 bytes").arg(FtpLimits::kMaxLine));
        from = end + 1;
    }
    const QString text = CodePage::ToUnicode(block);
    for (const QStringView rawLine : QStringView(text).tokenize(QLatin1Char('\n'))) {
        QString line = rawLine.toString();
        line.remove(QLatin1Char('\r'));
        if (!line.isEmpty())
            ReadLine(line);
        if (!m_fault.isEmpty())
            return false;
    }
    return true;
}

void RemoteListParser::ReadLine(QStringView line) {
    switch (m_form) {
        case Form::Recursive: {
            if (IsDotName(LastSegment(line)))
                return;
            if (line.size() > 1 && line.startsWith(QLatin1Char('/')) &&
                line.endsWith(QLatin1Char(':'))) {
                // A header outside the listed folder is another folder's block: a server that
                // hands its argument to ls as a command line lists the pieces of a name with
                // blanks. Its names belong to no folder of ours.
                const QStringView header = line.chopped(1);
                m_current.clear();
                if (HasDotStep(header) || !IsAtOrBelow(header, m_dirKey))
                    return;
                m_current = header.toString();
                m_currentKey = RemoteListing::Key(header);
                m_sawHeader = true;
                Add(m_current);
                return;
            }
            if (m_current.isEmpty())
                return;
            const QString path =
                line.startsWith(QLatin1Char('/')) ? line.toString() : Join(m_current, line);
            if (!HasDotStep(path) && IsAtOrBelow(path, m_currentKey))
                Add(path);
            return;
        }
        case Form::Names: {
            const qsizetype slash = line.lastIndexOf(QLatin1Char('/'));
            if (slash >= 0 && RemoteListing::Key(line.first(slash)) != m_dirKey)
                return;
            const QStringView name = line.mid(slash + 1);
            if (!name.isEmpty() && !IsDotName(name))
                Add(Join(m_dir, name));
            return;
        }
        case Form::Machine: {
            const qsizetype blank = line.indexOf(QLatin1Char(' '));
            if (blank < 0)
                return;
            const QString facts = line.first(blank).toString().toLower();
            const QStringView name = line.mid(blank + 1);
            const bool selfOrParent = facts.contains(QLatin1String("type=cdir")) ||
                                      facts.contains(QLatin1String("type=pdir"));
            if (!selfOrParent && !name.isEmpty() && !IsDotName(name) &&
                !name.contains(QLatin1Char('/')))
                Add(Join(m_dir, name));
            return;
        }
    }
}

void RemoteListParser::Add(const QString& path) {
    m_entries.Add(path);
    const QString fault = LimitFault(m_entries);
    if (!fault.isEmpty())
        Fail(fault);
}

QString RemoteListParser::LimitFault(const RemoteListing& entries) {
    if (entries.Size() > FtpLimits::kMaxListingEntries)
        return QStringLiteral("a listing of more than %1 entries")
            .arg(FtpLimits::kMaxListingEntries);
    if (entries.MemoryBytes() > FtpLimits::kMaxListingMemory)
        return QStringLiteral("a listing whose paths take more than %1 bytes")
            .arg(FtpLimits::kMaxListingMemory);
    return QString();
}

bool RemoteListParser::Fail(const QString& fault) {
    m_fault = fault;
    m_partial.clear();
    return false;
}

bool RemoteListParser::FeatOffersMlsd(const QString& featReply) {
    for (const QStringView line : QStringView(featReply).tokenize(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("MLST"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}
