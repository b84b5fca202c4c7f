#include "Fun_InlineIf.h"

namespace Fun_InlineIf {

QVariant InlineIf(const QVariant& value, const QVariant& fallback) {
    if (!value.isValid() || (value.canConvert<QString>() && value.toString().isEmpty()))
        return fallback;
    return value;
}

QString InlineIf(const QString& value, const QString& fallback) {
    return value.isEmpty() ? fallback : value;
}

}  // namespace Fun_InlineIf
