#include "NumericText.h"

#include <cmath>
#include <limits>

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Reads [sign] digits [. digits] [e|d [sign] digits] from text at pos; separators are taken
// among the integer digits only when allowed. Returns the characters that make the number,
// without separators, or "" when no digit came.
QString ScanNumber(const QString& text, qsizetype& pos, bool separators) {
    QString number;
    auto digits = [&](bool allowSeparators) {
        qsizetype count = 0;
        while (pos < text.size() &&
               (text.at(pos).isDigit() || (allowSeparators && count > 0 && text.at(pos) == u','))) {
            if (text.at(pos) != u',') {
                number += QChar(u'0' + text.at(pos).digitValue());
                ++count;
            }
            ++pos;
        }
        return count;
    };
    if (pos < text.size() && (text.at(pos) == u'+' || text.at(pos) == u'-'))
        number += text.at(pos++);
    qsizetype count = digits(separators);
    if (pos < text.size() && text.at(pos) == u'.') {
        number += u'.';
        ++pos;
        count += digits(false);
    }
    if (count == 0)
        return {};
    const qsizetype mark = pos;
    if (pos < text.size() && QStringLiteral("eEdD").contains(text.at(pos))) {
        QString exponent = QStringLiteral("e");
        ++pos;
        if (pos < text.size() && (text.at(pos) == u'+' || text.at(pos) == u'-'))
            exponent += text.at(pos++);
        const qsizetype before = number.size();
        if (digits(false) > 0)
            number.insert(before, exponent);
        else
            pos = mark;
    }
    return number;
}

}  // namespace

namespace NumericText {

bool IsNumeric(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype pos = 0;
    const QString number = ScanNumber(trimmed, pos, true);
    return !number.isEmpty() && pos == trimmed.size();
}

qint32 LeadingNumberRounded(const QString& text) {
    QString compact = text;
    compact.removeIf(IsBlank);  // blanks inside the number do not end it either
    qsizetype pos = 0;
    const double value = ScanNumber(compact, pos, false).toDouble();
    const double rounded = std::nearbyint(value);  // the default mode rounds halves to even
    constexpr double kMin = std::numeric_limits<qint32>::min();
    constexpr double kMax = std::numeric_limits<qint32>::max();
    return static_cast<qint32>(rounded < kMin ? kMin : rounded > kMax ? kMax : rounded);
}

}  // namespace NumericText
