#include "clsAppLog.h"

#include "Fun_Error_Success.h"
#include "TextFile.h"

QString clsAppLog::Path() const {
    return m_path.isEmpty() ? Fun_Error_Success::GetLogPath() : m_path;
}

bool clsAppLog::Logging(const QStringList& items) {
    const bool stamped = m_plainMode == 2;
    QString line = stamped ? Fun_Error_Success::LogTimestamp() : QString();
    for (const QString& item : items)
        line += stamped ? u' ' + item : item;
    return TextFile::AppendLine(Path(), line);
}

void clsAppLog::ClearLog() {
    TextFile::DeleteQuietly(Path());
}
