#include "StatusCounters.h"

namespace StatusCounters {

qint64 LeadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    qint64 n = 0;
    for (; i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128; ++i)
        n = n * 10 + (text.at(i).unicode() - '0');
    return n;
}

QString CountedUp(const QString& text, const QString& suffix) {
    return QString::number(LeadingNumber(text) + 1) + suffix;
}

}  // namespace StatusCounters
