#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// Quoting of values written into statement text as SQL string literals.
namespace Fun_EscSingleQuote {

// A date-time as the ledger stores it: local time with its offset from UTC, whole seconds, e.g.
// "2026-12-07 09:05:07+09:00". SQLite's date functions read it as that instant.
QString DateTimeText(const QDateTime& value);

// The value as text (a date-time as DateTimeText) with every "'" doubled. Inside single quotes
// SQLite treats every other character, backslash and percent sign included, as itself.
QString EscSingleQuote(const QVariant& value);

// " '" + EscSingleQuote(value) + "' ": a complete string literal with one blank either side.
QString SqlQuote(const QVariant& value);

}  // namespace Fun_EscSingleQuote
