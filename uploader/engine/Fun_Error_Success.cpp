#include "Fun_Error_Success.h"

#include <QDateTime>

#include "AppFiles.h"
#include "TextFile.h"

namespace Fun_Error_Success {

QString GetLogPath() {
    return AppFiles::AppFilePath(QStringLiteral(".log"));
}

QString LogTimestamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

bool WriteLog(const QStringList& items) {
    QString line = LogTimestamp();
    for (const QString& item : items)
        line += u' ' + item;
    return TextFile::AppendLine(GetLogPath(), line);
}

bool WriteLog(const QString& item) {
    return WriteLog(QStringList{item});
}

void KillLog() {
    TextFile::DeleteQuietly(GetLogPath());
}

}  // namespace Fun_Error_Success
