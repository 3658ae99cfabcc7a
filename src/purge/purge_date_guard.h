// The purge's date guard: its comparisons with the cut-off only hold for
// dates stored as the convention's ISO-8601 text, and the SQL function that
// counts the rows whose date cannot be read.
#pragma once

#include <QString>

#include "platform/core/db_engine.h"
#include "platform/core/status.h"

namespace purge_guard {

// Name of the SQL function that a DateGuardScope gives every connection
// opened while it lives: one argument, 1 when it is not Null and fails
// isoGuard, else 0. It reads a value exactly as isoGuard's GLOB does, at a
// fraction of the cost.
inline constexpr const char* kUnreadableDateFunction = "kv_unreadable_date";

// An SQLite condition, true exactly when `column` holds a date stored as the
// convention's ISO-8601 text ('YYYY-MM-DD', optionally a time of day after a
// space or a 'T'): the values a guarded comparison can match.
QString isoGuard(const QString& column);

// True exactly when `text` passes isoGuard: 'YYYY-MM-DD' alone, or followed
// by a space or 'T' and 'HH:MM' and anything after it.
bool isIsoDateText(const char* text, int length);

// Translates `statement` as jet::translate does, and places every
// comparison of a column with a #date# literal under isoGuard, so a row
// whose date the convention cannot read never matches. In a plain And/Or
// context the comparison stays a term of its own (an index on the column
// serves it); after NOT, CASE or IIF, or inside another comparison, a value
// outside the convention makes it Null. Fails as jet::translate does.
Status guardedTranslate(const QString& statement, QString& sql);

// While it lives, the engine's statements are translated by
// guardedTranslate and every connection opened offers
// kUnreadableDateFunction. Nested scopes are harmless.
class DateGuardScope {
 public:
  DateGuardScope();

 private:
  db::StatementRulesScope m_rules;
};

}  // namespace purge_guard
