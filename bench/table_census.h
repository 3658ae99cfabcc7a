// The rows of the purged tables of a database, counted and fingerprinted, so
// two purges can be checked to have removed the very same rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace bench {

inline constexpr std::array<const char*, 5> kPurgedTables = {"Contacts", "InvoiceNumbers", "Payments", "Transactions",
                                                             "Manifest"};

struct TableCensus {
  std::int64_t rows = 0;
  std::int64_t idSum = 0;      // sum of the IDs
  std::int64_t idSquares = 0;  // sum of ID*ID modulo a prime
  bool operator==(const TableCensus&) const = default;
};

struct DatabaseCensus {
  std::array<TableCensus, kPurgedTables.size()> tables{};
  std::string error;  // empty when every table was read
};

// Reads the census of the database file at `path` on a read-only connection
// that is closed before returning; `error` tells what could not be read.
DatabaseCensus takeCensus(const std::string& path);

// Runs PRAGMA quick_check on the file; "ok" when it is whole, else the
// verdict or the engine's message.
std::string quickCheck(const std::string& path);

// The first row's Setup.DefaultShipFrom as a number; 0 when there is none.
long long defaultShipFrom(const std::string& path);

}  // namespace bench
