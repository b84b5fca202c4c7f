#include "Fun_EscSingleQuote.h"

namespace Fun_EscSingleQuote {

QString DateTimeText(const QDateTime& value) {
    const QDateTime local = value.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString EscSingleQuote(const QVariant& value) {
    const QString text = value.typeId() == QMetaType::QDateTime ? DateTimeText(value.toDateTime())
                                                                : value.toString();
    return QString(text).replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString SqlQuote(const QVariant& value) {
    return QStringLiteral(" '") + EscSingleQuote(value) + QStringLiteral("' ");
}

}  // namespace Fun_EscSingleQuote
