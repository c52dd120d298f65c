#pragma once

#include <QString>
#include <optional>

// Numbers typed into the window's boxes, read the two ways the jobs read them.
namespace NumberText {

// The number a text starts with: blanks anywhere are ignored, and reading stops
// at the first character that cannot continue a decimal number (sign, digits,
// one point, an exponent). A text that starts with no number gives 0.
double leadingValue(const QString& text);

// The whole number nearest to value, an exact half going to the even
// neighbour; no value when the result does not fit in 32 bits.
std::optional<qint32> roundToInt32(double value);

// A text that is one number as a whole (blanks around it, a sign, leading
// zeros, a fraction, an exponent), rounded like roundToInt32 into 16 bits; no
// value for anything else (empty, letters, out of range).
std::optional<qint16> toInt16(const QString& text);

} // namespace NumberText
