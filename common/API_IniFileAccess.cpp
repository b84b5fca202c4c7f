#include "API_IniFileAccess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>

#include "AppFiles.h"
#include "CodePage.h"
#include "MessageHost.h"
#include "TextFile.h"

namespace {

// The read buffer of the platform's profile calls; a read returns at most this less its NULs.
constexpr qsizetype kReadBuffer = 10240;

MessageHost* g_host = nullptr;
QStringList g_checkedPaths;  // paths that passed IniCheckWritable, so each warns only once

// One line of the file as it lies on disk: its bytes and its own line end ("" for a last line
// without one), so that a rewrite can give back every untouched line byte for byte.
struct RawLine {
    QByteArray bytes;
    QByteArray eol;
};

enum class LineKind { Blank, Comment, Header, Entry };

// What one line means to the profile rules.
struct ParsedLine {
    LineKind kind = LineKind::Blank;
    QString name;  // section name or key, trimmed
    QString value;
    bool hasValue = false;  // the line holds "="
};

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

QString Trim(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && IsBlank(text.at(start)))
        ++start;
    while (end > start && IsBlank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

// A C string ends at its first NUL, as it did for the platform's calls.
QString CString(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

ParsedLine Parse(const QByteArray& bytes) {
    ParsedLine line;
    const QString text = Trim(CodePage::ToUnicode(bytes));
    if (text.isEmpty())
        return line;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.lastIndexOf(u']');
        if (close > 0) {
            line.kind = LineKind::Header;
            line.name = Trim(text.mid(1, close - 1));
            return line;
        }
    }
    line.kind = text.startsWith(u';') ? LineKind::Comment : LineKind::Entry;
    const qsizetype eq = text.indexOf(u'=');
    line.hasValue = eq >= 0;
    line.name = line.hasValue ? Trim(text.left(eq)) : text;
    line.value = line.hasValue ? Trim(text.mid(eq + 1)) : QString();
    return line;
}

QList<RawLine> SplitLines(const QByteArray& data) {
    QList<RawLine> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0) {
            lines.append({data.mid(start), QByteArray()});
            break;
        }
        const bool cr = end > start && data.at(end - 1) == '\r';
        lines.append({data.mid(start, end - start - (cr ? 1 : 0)), cr ? "\r\n" : "\n"});
        start = end + 1;
    }
    return lines;
}

QByteArray JoinLines(const QList<RawLine>& lines) {
    QByteArray data;
    for (const RawLine& line : lines)
        data += line.bytes + line.eol;
    return data;
}

bool ReadRaw(const QString& path, QList<RawLine>* lines, QString* error = nullptr) {
    QByteArray data;
    if (!TextFile::ReadAll(path, &data, error))
        return false;
    // A NUL never stands in a text file of the code page: UTF-16 or binary, whose sections and
    // keys would silently read as missing.
    if (data.contains('\0')) {
        if (error)
            *error = QStringLiteral("not a text file of the code page (it holds NUL bytes)");
        return false;
    }
    *lines = SplitLines(data);
    return true;
}

// Nothing at all at the path; a dangling link is something (what it leads to cannot be read).
bool Missing(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT;
}

bool WriteKeepingMode(const QString& path, const QByteArray& data, QString* error = nullptr) {
    return TextFile::WriteAtomic(path, data, QFileInfo(path).permissions(), error);
}

// The platform's read-only attribute: no write bit at all, or no write access for us. The mode
// bits are looked at directly because the superuser's access() ignores them.
bool IsReadOnly(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
           ::access(native.constData(), W_OK) != 0;
}

// The lines [first, end) of a section's body: after its header up to the next header.
struct Section {
    qsizetype header = -1;
    qsizetype first = 0;
    qsizetype end = 0;
};

Section FindSection(const QList<RawLine>& lines, const QString& name) {
    Section found;
    const QString wanted = Trim(name);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const ParsedLine line = Parse(lines.at(i).bytes);
        if (line.kind != LineKind::Header)
            continue;
        if (found.header >= 0) {
            found.end = i;
            return found;
        }
        if (line.name.compare(wanted, Qt::CaseInsensitive) == 0) {
            found.header = i;
            found.first = i + 1;
        }
    }
    found.end = lines.size();
    return found;
}

qsizetype FindKey(const QList<RawLine>& lines, const Section& section, const QString& key) {
    const QString wanted = Trim(key);
    for (qsizetype i = section.first; i < section.end; ++i) {
        const ParsedLine line = Parse(lines.at(i).bytes);
        if (line.kind != LineKind::Header && line.kind != LineKind::Blank &&
            line.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// One past the last non-blank line of the body: new keys go there, before the blank lines that
// part the section from the next one.
qsizetype EndOfContent(const QList<RawLine>& lines, const Section& section) {
    qsizetype end = section.end;
    while (end > section.first && Parse(lines.at(end - 1).bytes).kind == LineKind::Blank)
        --end;
    return end;
}

RawLine NewLine(const QString& text) {
    return {CodePage::FromUnicode(text), "\r\n"};
}

void InsertLines(QList<RawLine>* lines, qsizetype at, const QStringList& texts) {
    if (at > 0 && lines->at(at - 1).eol.isEmpty())
        (*lines)[at - 1].eol = "\r\n";
    for (qsizetype i = 0; i < texts.size(); ++i)
        lines->insert(at + i, NewLine(texts.at(i)));
}

QString StripQuotes(const QString& value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

QString ReadKey(const QList<RawLine>& lines, const Section& section, const QString& key) {
    const qsizetype at = FindKey(lines, section, key);
    if (at < 0)
        return {};
    const ParsedLine line = Parse(lines.at(at).bytes);
    return CString(StripQuotes(line.value)).left(kReadBuffer - 1);
}

QString ReadSection(const QList<RawLine>& lines, const Section& section) {
    QStringList entries;
    for (qsizetype i = section.first; i < section.end; ++i) {
        const ParsedLine line = Parse(lines.at(i).bytes);
        if (line.kind == LineKind::Entry)
            entries.append(line.hasValue ? line.name + u'=' + line.value : line.name);
    }
    // The buffer ends in two NULs; what does not fit before them is cut off.
    QString joined = entries.join(QChar(0)).left(kReadBuffer - 2);
    while (joined.endsWith(QChar(0)))
        joined.chop(1);
    return joined;
}

void WriteKey(QList<RawLine>* lines, const QString& section, const QString& key,
              const QString& value) {
    const Section found = FindSection(*lines, section);
    if (found.header < 0) {
        InsertLines(lines, lines->size(), {u'[' + Trim(section) + u']', Trim(key) + u'=' + value});
        return;
    }
    const qsizetype at = FindKey(*lines, found, key);
    if (at >= 0) {
        (*lines)[at].bytes = CodePage::FromUnicode(Parse(lines->at(at).bytes).name + u'=' + value);
        return;
    }
    InsertLines(lines, EndOfContent(*lines, found), {Trim(key) + u'=' + value});
}

// The platform's section write takes the NUL-separated entries up to the first empty one.
QStringList SectionEntries(const QString& value) {
    QStringList entries;
    for (const QString& entry : value.split(QChar(0))) {
        if (entry.isEmpty())
            break;
        entries.append(entry);
    }
    return entries;
}

void WriteSection(QList<RawLine>* lines, const QString& section, const QString& value) {
    const QStringList entries = SectionEntries(value);
    const Section found = FindSection(*lines, section);
    if (found.header < 0) {
        InsertLines(lines, lines->size(), QStringList{u'[' + Trim(section) + u']'} + entries);
        return;
    }
    lines->remove(found.first, EndOfContent(*lines, found) - found.first);
    InsertLines(lines, found.first, entries);
}

void WarnReadOnly() {
    if (!g_host)
        return;
    const QString crlf = QStringLiteral("\r\n");
    g_host->ShowMessage(
        QStringLiteral("設定ﾌｧｲﾙが書きこみ禁止になっています。") + crlf +
            QStringLiteral("設定状態を保存する場合はﾌｧｲﾙを書きこみ可にしてOKを押してください。") +
            crlf + QStringLiteral("保存しない場合はそのままOKを押してください。") + crlf,
        MsgIcon::Exclamation, MsgButtons::Ok);
}

// A line break would split its line: the rest of it would read as a key, or as a section header.
bool HoldsLineBreak(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n');
}

bool CreateEmpty(const QString& path, QString* error) {
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error =
                QFileInfo(path).isDir() ? QStringLiteral("Is a directory") : file.errorString();
        return false;
    }
    return true;
}

}  // namespace

namespace API_IniFileAccess {

void SetMessageHost(MessageHost* host) {
    g_host = host;
}

QString IniDefaultPath() {
    return AppFiles::AppFilePath(QStringLiteral(".ini"));
}

bool IniRead(const QString& section, QString& value, const std::optional<QString>& key,
             const QString& path) {
    value.clear();
    const QString file = path.isEmpty() ? IniDefaultPath() : CString(path);
    QList<RawLine> lines;
    if (!ReadRaw(file, &lines))
        return false;
    const Section found = FindSection(lines, CString(section));
    if (found.header < 0)
        return false;
    value = key ? ReadKey(lines, found, CString(*key)) : ReadSection(lines, found);
    return !value.isEmpty();
}

bool IniCheckReadable(const QString& path, QString* error) {
    const QString file = path.isEmpty() ? IniDefaultPath() : CString(path);
    QList<RawLine> lines;
    return Missing(file) || ReadRaw(file, &lines, error);
}

bool IniReadEvery(const QString& section, const QString& key, QStringList* values,
                  const QString& path) {
    values->clear();
    QList<RawLine> lines;
    const QString file = path.isEmpty() ? IniDefaultPath() : CString(path);
    if (!ReadRaw(file, &lines))
        return Missing(file);
    const QString wanted = Trim(CString(section));
    bool inSection = false;
    for (const RawLine& raw : lines) {
        const ParsedLine line = Parse(raw.bytes);
        if (line.kind == LineKind::Header)
            inSection = line.name.compare(wanted, Qt::CaseInsensitive) == 0;
        else if (inSection && line.kind == LineKind::Entry &&
                 line.name.compare(Trim(key), Qt::CaseInsensitive) == 0)
            values->append(CString(StripQuotes(line.value)));
    }
    return true;
}

bool IniWrite(const QString& section, const QString& value, const std::optional<QString>& key,
              const QString& path, bool compact, QString* error) {
    const QString file = path.isEmpty() ? IniDefaultPath() : CString(path);
    if (HoldsLineBreak(section) || (key && HoldsLineBreak(*key)) || HoldsLineBreak(value)) {
        if (error)
            *error = QStringLiteral("A line break cannot be stored in a settings file");
        return false;
    }
    if (!IniCheckWritable(file) && !CreateEmpty(file, error))
        return false;
    QList<RawLine> lines;
    // A read-only file refuses the write as the platform's attribute did, for the superuser too.
    if (IsReadOnly(file) || !ReadRaw(file, &lines, error))
        return false;
    if (key)
        WriteKey(&lines, CString(section), CString(*key), CString(value));
    else
        WriteSection(&lines, CString(section), value);
    if (!WriteKeepingMode(file, JoinLines(lines), error))
        return false;
    if (!key && compact)
        IniCompactSection(file, CString(section));
    return true;
}

bool IniDeleteSection(const QString& section, const QString& path, QString* error) {
    QList<RawLine> lines;
    if (!QFileInfo::exists(path))
        return true;
    if (!ReadRaw(path, &lines)) {
        if (error)
            *error = QStringLiteral("cannot read the file");
        return false;
    }
    const Section found = FindSection(lines, CString(section));
    if (found.header < 0)
        return true;
    if (IsReadOnly(path)) {
        if (error)
            *error = QStringLiteral("the file is read-only");
        return false;
    }
    lines.remove(found.header, found.end - found.header);
    return WriteKeepingMode(path, JoinLines(lines), error);
}

bool IniCheckWritable(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || info.isDir())
        return false;
    if (!g_checkedPaths.contains(path)) {
        g_checkedPaths.append(path);
        if (IsReadOnly(path))
            WarnReadOnly();
    }
    return true;
}

bool IniCompactSection(const QString& path, const QString& section) {
    QStringList lines;
    if (!TextFile::ReadLines(path, &lines))
        return false;
    const qsizetype header = lines.indexOf(u'[' + section + u']');
    if (header < 0)
        return false;
    qsizetype next = header + 1;
    while (next < lines.size() &&
           !(lines.at(next).startsWith(u'[') && lines.at(next).endsWith(u']')))
        ++next;
    QStringList kept;
    for (qsizetype i = header + 1; i < next; ++i) {
        if (!lines.mid(i + 1, next - i - 1).contains(lines.at(i)))
            kept.append(lines.at(i));
    }
    if (kept.isEmpty() || !kept.first().isEmpty())
        kept.append(QString());
    const QStringList result = lines.mid(0, header + 1) + kept + lines.mid(next);
    QByteArray data;
    for (const QString& line : result)
        data += CodePage::FromUnicode(line) + "\r\n";
    return WriteKeepingMode(path, data);
}

}  // namespace API_IniFileAccess
