// The purge's date guard: its comparisons with the cut-off only hold for
// dates stored as the convention's ISO-8601 text, and the SQL function that
// counts the rows whose date cannot be read.
#pragma once

#include <QString>

#include "platform/core/db_engine.h"
#include "platform/core/status.h"

namespace purge_guard {

// Names of the SQL functions that a DateGuardScope gives every connection
// opened while it lives. Each takes one value and reads it exactly as
// isoGuardGlob does, at a fraction of the cost. kIsoDateFunction: Null for
// Null, 1 when the value passes, else 0. kUnreadableDateFunction: 1 when the
// value is not Null and fails, else 0.
inline constexpr const char* kIsoDateFunction = "kv_iso_date";
inline constexpr const char* kUnreadableDateFunction = "kv_unreadable_date";

// An SQLite condition, true exactly when `column` holds a date stored as the
// convention's ISO-8601 text ('YYYY-MM-DD', optionally a time of day after a
// space or a 'T'): the values a guarded comparison can match. It calls
// kIsoDateFunction, so it runs on connections a DateGuardScope opened.
QString isoGuard(const QString& column);

// The same condition in plain SQLite, for any connection or tool: two GLOBs.
QString isoGuardGlob(const QString& column);

// True exactly when `text` passes isoGuardGlob: 'YYYY-MM-DD' alone, or
// followed by a space or 'T' and 'HH:MM' and anything after it.
bool isIsoDateText(const char* text, int length);

// Translates `statement` as jet::translate does, and places every
// comparison of a column with a #date# literal under isoGuard, so a row
// whose date the convention cannot read never matches. In a plain And/Or
// context the comparison stays a term of its own (an index on the column
// serves it); after NOT, CASE or IIF, or inside another comparison, a value
// outside the convention makes it Null. Fails as jet::translate does.
Status guardedTranslate(const QString& statement, QString& sql);

// While it lives, the engine's statements are translated by
// guardedTranslate and every connection opened offers kIsoDateFunction and
// kUnreadableDateFunction. Nested scopes are harmless.
class DateGuardScope {
 public:
  DateGuardScope();

 private:
  db::StatementRulesScope m_rules;
};

}  // namespace purge_guard
