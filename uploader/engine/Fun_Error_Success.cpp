#include "Fun_Error_Success.h"

#include <cstdio>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "AppFiles.h"
#include "CodePage.h"
#include "TextFile.h"

namespace Fun_Error_Success {

QString GetLogPath() {
    return AppFiles::AppFilePath(QStringLiteral(".log"));
}

QString GetPreviewLogPath() {
    return AppFiles::AppFilePath(QStringLiteral(".preview.log"));
}

QString LogTimestamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

bool WriteLog(const QStringList& items, QString* error) {
    QString line = LogTimestamp();
    for (const QString& item : items)
        line += u' ' + item;
    return TextFile::AppendLine(GetLogPath(), line, error);
}

bool WriteLog(const QString& item, QString* error) {
    return WriteLog(QStringList{item}, error);
}

bool WriteLogTo(const QString& path, const QString& item, QString* error) {
    return TextFile::AppendLine(path, LogTimestamp() + u' ' + item, error);
}

QString LogText(const QString& text) {
    const bool held = CodePage::Holds(text);
    const auto hex = [](char32_t c, int width) {
        return QString::number(uint(c), 16).toUpper().rightJustified(width, QLatin1Char('0'));
    };
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (c == U'\r')
            out += QStringLiteral("\\r");
        else if (c == U'\n')
            out += QStringLiteral("\\n");
        else if (c == U'\t')
            out += QStringLiteral("\\t");
        else if (c < 0x20 || c == 0x7F)
            out += QStringLiteral("\\x") + hex(c, 2);
        else if (held || CodePage::Holds(one))
            out += one;
        else
            out += QStringLiteral("\\u{") + hex(c, 4) + QLatin1Char('}');
    }
    return out;
}

void KillLog() {
    TextFile::DeleteQuietly(GetLogPath());
}

void KeepEarlierLogs(int keep) {
    const QString runLog = GetLogPath();
    if (keep <= 0 || !QFileInfo(runLog).isFile())
        return;
    // Each number of both files stands for the same run: a missing file leaves no older one in
    // its place. Only files move: whatever else stands in a log's place stays in the way.
    const auto shift = [](const QString& from, const QString& to) {
        if (!QFileInfo(from).isFile() ||
            std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()))
            TextFile::DeleteQuietly(to);
    };
    for (const QString& log : {runLog, runLog + QStringLiteral(".sys.log")}) {
        const auto numbered = [&log](int n) { return log + u'.' + QString::number(n); };
        for (int n = keep - 1; n >= 1; --n)
            shift(numbered(n), numbered(n + 1));
        shift(log, numbered(1));
    }
}

}  // namespace Fun_Error_Success
