// Date stamps of the sample rows, in the database's ISO-8601 text convention:
// 'YYYY-MM-DD HH:MM:SS' for a moment of the day, 'YYYY-MM-DD' for midnight.
#pragma once

#include <cstdint>
#include <string>

#include <QDate>

#include "sampledb/prng.h"

namespace sampledb {

// The days rows are dated on: [first, first + days), as Julian day numbers.
struct DaySpan {
  std::int64_t first = 0;
  std::int64_t days = 1;
  // The `years` years before `today` (today itself excluded).
  static DaySpan before(const QDate& today, int years);
};

// Appends 'YYYY-MM-DD' for Julian day `day`.
void appendDay(std::int64_t day, std::string& out);

// Appends the stamp of row `index` of `count`: rows advance through the span
// with their index, at shop hours, except that every 25th row (offset 2) is a
// month-opening entry on the first of its month (or of the span) at midnight
// ('YYYY-MM-DD') and every 25th row (offset 14) is a day-closing entry at
// 23:59:59.
void appendRowStamp(Prng& rng, std::int64_t index, std::int64_t count, const DaySpan& span, std::string& out);

}  // namespace sampledb
