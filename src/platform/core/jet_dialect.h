// Translates statements written in the shop database's dialect ([name],
// #date# literals, And/Or/Is Null/<>) into SQLite's: a translation and
// nothing more.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/core/status.h"

namespace jet {

// Failure number of a statement whose #date# literal cannot be read.
inline constexpr int32_t kErrDateLiteral = 0x10001;

// Where one translated #date# literal stands in a translated statement:
// its first character (the opening quote) and its length with the quotes.
struct DateLiteral {
  qsizetype start = 0;
  qsizetype length = 0;
};

// Translates `statement` into `out`. Brackets, quotes and the operators are
// SQLite's own and pass unchanged. A #...# literal outside quotes and
// brackets is read with the user's date rule and becomes 'YYYY-MM-DD' (or
// 'YYYY-MM-DD HH:MM:SS' when it carries a time of day other than midnight);
// when `literals` is given it receives where each one landed in `out`, in
// order. Fails with kErrDateLiteral on an unreadable or unterminated
// literal; `out` (and `literals`) are then empty.
Status translate(const QString& statement, QString& out, std::vector<DateLiteral>* literals = nullptr);

}  // namespace jet
