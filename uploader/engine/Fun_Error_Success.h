#pragma once

#include <QString>
#include <QStringList>

// The run log: one timestamped line per event of a run, beside the program as SkerrowEx.log.
namespace Fun_Error_Success {

QString GetLogPath();
// The log of the last preview, which takes the run log's place while a preview goes on.
QString GetPreviewLogPath();
// Appends "yyyy/MM/dd H:mm:ss" (local time) and, for every item, one blank and the item.
// False, with the reason in error, when the line could not be written.
bool WriteLog(const QStringList& items, QString* error = nullptr);
bool WriteLog(const QString& item, QString* error = nullptr);
// The same into the log at path.
bool WriteLogTo(const QString& path, const QString& item, QString* error = nullptr);
// Deletes the run log; a missing file is no error.
void KillLog();
// Keeps the run log of the last run and its command log (the run log's name + ".sys.log") as
// ".1" of each, before a run empties them; the pairs kept before move up one number, up to keep.
// Nothing moves when there is no run log. Failures are ignored: the logs are emptied as before.
void KeepEarlierLogs(int keep);

// A name or a server's text as it may stand in a log line: control characters written as \r,
// \n, \t or \xNN, and characters the code page cannot hold as \u{XXXX}, so that the line stays
// one line and says which name it means. Other characters, backslashes included, stay as they are.
QString LogText(const QString& text);

// The timestamp of a log line.
QString LogTimestamp();

}  // namespace Fun_Error_Success
