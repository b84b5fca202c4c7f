#pragma once

#include <optional>

#include <QString>
#include <QStringList>

class MessageHost;

// The settings file: a Windows-style INI file read and written with private-profile rules.
// Section and key names match case-blind, blanks around names and values do not count, and a
// write touches only the line it changes (or adds a line or a section at the end); every other
// line keeps its bytes. The file goes through the code page converter with CR LF line ends.
namespace API_IniFileAccess {

// Where the read-only warning is shown; without a host the warning is not shown.
void SetMessageHost(MessageHost* host);

// Key given: reads that key (a key with an empty value reads as missing). Key left out: reads the
// whole section as its entries "key=value" separated by one NUL each. False and "" when nothing
// was read. An empty path means IniDefaultPath().
bool IniRead(const QString& section, QString& value, const std::optional<QString>& key = {},
             const QString& path = QString());

// False, with the reason, when the file exists but cannot be read or is no text file (a folder,
// a fifo, an unreadable file, UTF-16): settings that say nothing then might have said something.
// A missing file is true. An empty path means IniDefaultPath().
bool IniCheckReadable(const QString& path = QString(), QString* error = nullptr);

// Every value the key has in every section of that name (a file may hold a section twice), in
// file order, empty values included. False when the file exists but cannot be read.
bool IniReadEvery(const QString& section, const QString& key, QStringList* values,
                  const QString& path = QString());

// Key given: writes that key. Key left out: replaces the whole section by the NUL-separated
// entries of value, and with compact also drops duplicate lines of the section afterwards.
// A missing file is created first. False when the write failed: for a read-only file (the user
// has been warned), or with the reason in error when the file could not be created or replaced,
// or when a name or the value holds a line break (nothing is written then).
bool IniWrite(const QString& section, const QString& value, const std::optional<QString>& key = {},
              const QString& path = QString(), bool compact = false, QString* error = nullptr);

// Removes the section (name matched case-blind) with every line up to the next section. True when
// the file holds no such section afterwards (a missing file or section is no error).
bool IniDeleteSection(const QString& section, const QString& path, QString* error = nullptr);

// True when the path names an existing file (a read-only one too). The first check of each path
// in this process warns the user when the file is read-only.
bool IniCheckWritable(const QString& path);

// The settings file beside the program.
QString IniDefaultPath();

// Keeps only the last of identical lines of the section whose header is exactly "[section]" and
// rewrites the file. False when the file cannot be read or written or holds no such header.
bool IniCompactSection(const QString& path, const QString& section);

}  // namespace API_IniFileAccess
