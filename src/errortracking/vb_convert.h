// Conversions of loosely typed values to the tracker's property types, with
// the run-time errors of a failed conversion.
#pragma once

#include <cstdint>

#include <QString>
#include <QVariant>

namespace vbconv {

inline constexpr int32_t kErrInvalidUseOfNull = 94;

// Text of a value: numbers in decimal, booleans "True"/"False", a null value
// empty text. Never fails.
QString toText(const QVariant& value);

// A boolean: numbers are true when not zero; texts "True"/"False" (any
// case) or a number. Throws a type-mismatch error for other texts, and
// "Invalid use of Null" for a null value.
bool toBool(const QVariant& value);

// A signed 16-bit integer: numbers and numeric texts rounded half to even.
// Throws a type-mismatch error for a text that is not a number, an overflow
// error outside -32768..32767, and "Invalid use of Null" for a null value.
int16_t toInt16(const QVariant& value);

}  // namespace vbconv
