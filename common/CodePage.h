#pragma once

#include <QByteArray>
#include <QString>

// The one converter between Unicode text inside the program and the bytes of files and sockets.
// The code page is the locale's character set (UTF-8 where the locale names nothing beyond
// ASCII); SetOverride names another one (for example "CP932" for a Shift_JIS server).
namespace CodePage {
QString Name();
// Empty restores the locale's character set. Returns false (and keeps the current one) when the
// name is not a character set iconv knows.
bool SetOverride(const QString& name);
QByteArray FromUnicode(const QString& text);
QString ToUnicode(const QByteArray& bytes);
// True when the text converts into the code page and back unchanged: a name that does not would
// reach the server as another name, or as the same name as another file.
bool Holds(const QString& text);
}  // namespace CodePage
