#pragma once

#include <QString>

namespace DefaultApplication {
// The full path of the program the desktop opens an existing document with: the default
// application of the document's MIME type, or of a type it is a kind of, in the MIME-apps lists
// (freedesktop.org mime-apps rules), and the program of that entry's Exec line, looked up on
// PATH. Empty when the document is missing or nothing is set up for it.
QString ProgramFor(const QString& documentPath);
}  // namespace DefaultApplication
