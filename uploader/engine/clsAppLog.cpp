#include "clsAppLog.h"

#include "Fun_Error_Success.h"
#include "TextFile.h"

QString clsAppLog::Path() const {
    return m_path.isEmpty() ? Fun_Error_Success::GetLogPath() : m_path;
}

void clsAppLog::Path(const QString& vData) {
    m_file.close();
    m_path = vData;
}

bool clsAppLog::Logging(const QStringList& items) {
    const bool stamped = m_plainMode == 2;
    QString line = stamped ? Fun_Error_Success::LogTimestamp() : QString();
    for (const QString& item : items)
        line += stamped ? u' ' + item : item;
    if (!m_file.isOpen()) {
        m_file.setFileName(Path());
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
    }
    if (TextFile::WriteLine(m_file, line))
        return true;
    m_file.close();  // opened again at the next line
    return false;
}

void clsAppLog::ClearLog() {
    m_file.close();
    TextFile::DeleteQuietly(Path());
}
