#pragma once

#include <QString>
#include <QVariant>

// A fallback for an empty value.
namespace Fun_InlineIf {

// fallback when value is empty (no value, or one whose text is ""), else value.
QVariant InlineIf(const QVariant& value, const QVariant& fallback);
QString InlineIf(const QString& value, const QString& fallback);

}  // namespace Fun_InlineIf
