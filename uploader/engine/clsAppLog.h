#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// One log file written a line at a time, the run driver's command log. The file stays open
// between lines (a run writes several lines per file it sends) and every line is flushed to it
// at once, so a crash loses nothing that was logged.
class clsAppLog {
public:
    // 2: each line starts with the date and time and every item gets one blank before it;
    // any other value: items back to back, no date and time.
    void PlainMode(qint32 nMode) { m_plainMode = nMode; }
    // Empty reads as the run log's path.
    QString Path() const;
    void Path(const QString& vData);

    bool Logging(const QStringList& items);
    bool Logging(const QString& item) { return Logging(QStringList{item}); }
    // Deletes the file; a missing file is no error.
    void ClearLog();

private:
    qint32 m_plainMode = 2;
    QString m_path;
    QFile m_file;
};
