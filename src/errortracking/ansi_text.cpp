// Windows-1252 encoding and decoding for the error log.
#include "errortracking/ansi_text.h"

#include <QList>

namespace ansi {
namespace {

// Characters of bytes 0x80 to 0x9F; the five unassigned bytes map to the
// C1 control of the same number, as the system itself reads them.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char encodeOne(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

QByteArray encode(const QString& text) {
  QByteArray out;
  out.reserve(text.size());
  for (const char32_t cp : text.toUcs4()) out.append(encodeOne(cp));
  return out;
}

QString decode(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.append(b >= 0x80 && b < 0xA0 ? QChar(kHigh[b - 0x80]) : QChar(b));
  }
  return out;
}

}  // namespace ansi
