#pragma once
#include <QStringView>
#include <QtGlobal>

// The decimal number a text begins with: leading blanks skipped, an optional sign, digits,
// an optional decimal point and fraction; reading stops at the first character that cannot
// continue the number. Full-width digits count as the same digits. 0 when the text does
// not begin with a number.
double numericValue(QStringView text);

// The numeric value rounded to a whole number (half to even) and held within 16 bits.
qint16 numericValueInt16(QStringView text);

// Adds one to a 16-bit counter, stopping at 32767 instead of wrapping to a negative value.
qint16 saturatingIncrement(qint16 value);
