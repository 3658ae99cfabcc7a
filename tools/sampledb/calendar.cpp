// Date stamps of the sample rows.
#include "sampledb/calendar.h"

#include <cstdio>

namespace sampledb {

DaySpan DaySpan::before(const QDate& today, int years) {
  DaySpan span;
  span.first = today.addYears(-years).toJulianDay();
  span.days = today.toJulianDay() - span.first;
  if (span.days < 1) span.days = 1;
  return span;
}

void appendDay(std::int64_t day, std::string& out) {
  int y = 0, m = 0, d = 0;
  QDate::fromJulianDay(day).getDate(&y, &m, &d);
  char buffer[16];
  const int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
  if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
}

void appendRowStamp(Prng& rng, std::int64_t index, std::int64_t count, const DaySpan& span, std::string& out) {
  if (count < 1) count = 1;
  std::int64_t day = span.first + (index * span.days + rng.below(span.days)) / count;
  const std::int64_t kind = index % 25;
  if (kind == 2) {
    const QDate date = QDate::fromJulianDay(day);
    const std::int64_t opening = QDate(date.year(), date.month(), 1).toJulianDay();
    appendDay(opening >= span.first ? opening : span.first, out);
    return;
  }
  appendDay(day, out);
  long long seconds = kind == 14 ? 23 * 3600 + 59 * 60 + 59 : rng.between(8 * 3600, 20 * 3600 - 1);
  char buffer[16];
  const int n =
      std::snprintf(buffer, sizeof buffer, " %02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace sampledb
