#include "ServerText.h"

namespace {

bool NeedsEscape(QChar c) {
    if (c == QLatin1Char('\t'))
        return false;
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

}  // namespace

namespace ServerText {

QString Printable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!NeedsEscape(c)) {
            out.append(c);
            continue;
        }
        const bool latin1 = c.unicode() <= 0xFF;
        out.append(latin1 ? QStringLiteral("\\x") : QStringLiteral("\\u"));
        out.append(QString::number(c.unicode(), 16).toUpper().rightJustified(latin1 ? 2 : 4, u'0'));
    }
    return out;
}

QString ReplyLogLine(const QString& reply) {
    QString shown = reply;
    shown.replace(QLatin1String("\r\n"), QLatin1String(">>"));
    shown.replace(QLatin1Char('\n'), QLatin1String(">>"));
    return Printable(shown);
}

}  // namespace ServerText
