#pragma once

#include <QString>
#include <QtGlobal>

// Reading numbers out of the text of edit fields and list columns.
namespace NumericText {

// True for text that converts to a number: blanks around it, an optional sign, digits with
// thousands separators, a decimal point and an exponent.
bool IsNumeric(const QString& text);

// The number at the start of text (blanks skipped, 0 when there is none), rounded to a whole
// number with halves to even and held within the 32-bit range.
qint32 LeadingNumberRounded(const QString& text);

}  // namespace NumericText
