// Streams the rows of each sample table into an open database, one prepared
// insert per table, without holding a table in memory.
#pragma once

#include <cstdint>
#include <string>

#include <QString>

#include "sampledb/calendar.h"
#include "sampledb/sample_db.h"
#include "sampledb/sqlite_handle.h"

namespace sampledb {

// What every table writer needs to know about the run.
struct Plan {
  RowCounts counts;
  DaySpan span;
  std::uint64_t seed = 1;
  std::string shopName;
  std::int64_t defaultShipFrom = 1;  // Contacts.ID of the shop's own contact
};

// Each writes its table's rows (IDs from 1); "" or the engine's message.
QString writeContacts(Db& db, const Plan& plan);
QString writeSetup(Db& db, const Plan& plan);
QString writeInvoiceNumbers(Db& db, const Plan& plan);
QString writePayments(Db& db, const Plan& plan);
QString writeTransactions(Db& db, const Plan& plan);
QString writeManifest(Db& db, const Plan& plan);

// The mix of account numbers on a money row: which rows carry Cash, an
// account holder's number, or Null.
enum class Account { Cash, Holder, None };
Account accountFor(std::int64_t index, std::int64_t nullOffset, std::int64_t holderOffset);

// Contact rows: which of them are account holders, and which have no
// LastContactDate recorded.
bool isAccountHolder(std::int64_t contactIndex);
bool hasNoContactDate(std::int64_t contactIndex);

}  // namespace sampledb
