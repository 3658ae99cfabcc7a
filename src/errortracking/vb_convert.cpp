// Conversions of loosely typed values to text, boolean and 16-bit integer.
#include "errortracking/vb_convert.h"

#include <cmath>

#include "platform/core/runtime_error.h"

namespace vbconv {
namespace {

[[noreturn]] void typeMismatch() { throw RuntimeError(kErrTypeMismatch, QStringLiteral("Type mismatch")); }
[[noreturn]] void overflow() { throw RuntimeError(kErrOverflow, QStringLiteral("Overflow")); }
[[noreturn]] void nullUse() { throw RuntimeError(kErrInvalidUseOfNull, QStringLiteral("Invalid use of Null")); }

bool isNull(const QVariant& v) { return !v.isValid() || v.isNull(); }

bool isNumber(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
      return true;
    default:
      return false;
  }
}

// A numeric text as a double; type mismatch when it is not one.
double numberFromText(const QString& text) {
  bool ok = false;
  const double d = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(d)) typeMismatch();
  return d;
}

}  // namespace

QString toText(const QVariant& value) {
  if (isNull(value)) return QString();
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
  if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
    return QString::number(value.toDouble(), 'g', 15);
  return value.toString();
}

bool toBool(const QVariant& value) {
  if (isNull(value)) nullUse();
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (isNumber(value)) return value.toDouble() != 0.0;
  if (value.canConvert<QString>()) {
    const QString t = value.toString().trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    return numberFromText(t) != 0.0;
  }
  typeMismatch();
}

int16_t toInt16(const QVariant& value) {
  if (isNull(value)) nullUse();
  double d;
  if (value.typeId() == QMetaType::Bool) {
    d = value.toBool() ? -1.0 : 0.0;
  } else if (isNumber(value)) {
    d = value.toDouble();
  } else if (value.canConvert<QString>()) {
    d = numberFromText(value.toString());
  } else {
    typeMismatch();
  }
  const double r = std::nearbyint(d);  // the default rounding mode: half to even
  if (r < -32768.0 || r > 32767.0) overflow();
  return static_cast<int16_t>(r);
}

}  // namespace vbconv
