#pragma once

#include <QString>

// Words a server sent, made safe for a log line or a message: what it writes can never start a
// line of its own or move the cursor of whoever reads it.
namespace ServerText {

// Every control character but TAB (C0, DEL, C1, and the Unicode line and paragraph separators)
// written as \xHH, or \uHHHH beyond Latin-1.
QString Printable(const QString& text);

// A reply as one command-log line: its line ends shown as ">>", the rest as Printable gives it.
QString ReplyLogLine(const QString& reply);

}  // namespace ServerText
