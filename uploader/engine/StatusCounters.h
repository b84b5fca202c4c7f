#pragma once

#include <QString>

// The status panels hold their counts as text only: "12 files", "3 copies", "1 err", "40 sec".
namespace StatusCounters {
inline const QString kFiles = QStringLiteral(" files");
inline const QString kCopies = QStringLiteral(" copies");
inline const QString kErrors = QStringLiteral(" err");
inline const QString kSeconds = QStringLiteral(" sec");

// The number at the start of a panel text (leading blanks skipped); 0 when there is none.
qint64 LeadingNumber(const QString& text);
// The panel text after one more count.
QString CountedUp(const QString& text, const QString& suffix);
}  // namespace StatusCounters
