// Translates statements written in the shop database's dialect ([name],
// #date# literals, And/Or/Is Null/<>) into SQLite's.
#pragma once

#include <cstdint>

#include <QString>

#include "platform/status.h"

namespace jet {

// Failure number of a statement whose #date# literal cannot be read.
inline constexpr int32_t kErrDateLiteral = 0x10001;

// Translates `statement` into `out`. Brackets, quotes and the operators are
// SQLite's own and pass unchanged. A #...# literal outside quotes and
// brackets is read with the user's date rule and becomes 'YYYY-MM-DD' (or
// 'YYYY-MM-DD HH:MM:SS' when it carries a time of day other than midnight).
// When the literal is compared with a column, the comparison only holds for
// values stored as ISO-8601 text, so a row whose date the convention cannot
// read never matches. Fails with kErrDateLiteral on an unreadable or
// unterminated literal; `out` is then empty.
Status translate(const QString& statement, QString& out);

// An SQLite condition, true exactly when `column` holds a date stored as the
// convention's ISO-8601 text ('YYYY-MM-DD', optionally a time of day after a
// space or a 'T'): the values a translated #date# comparison can match.
QString isoGuard(const QString& column);

// True exactly when `text` passes isoGuard: 'YYYY-MM-DD' alone, or followed
// by a space or 'T' and 'HH:MM' and anything after it.
bool isIsoDateText(const char* text, int length);

// Name of the SQL function that every engine connection offers: one
// argument, 1 when it is not Null and fails isoGuard, else 0. It reads a
// value exactly as isoGuard's GLOB does, at a fraction of the cost.
inline constexpr const char* kUnreadableDateFunction = "kv_unreadable_date";

}  // namespace jet
