// Census of the purged tables through the SQLite C API.
#include "table_census.h"

#include <sqlite3.h>

namespace bench {
namespace {

struct ReadOnlyDb {
  sqlite3* db = nullptr;
  explicit ReadOnlyDb(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      db = nullptr;
    }
  }
  ~ReadOnlyDb() { sqlite3_close(db); }
};

}  // namespace

DatabaseCensus takeCensus(const std::string& path) {
  DatabaseCensus census;
  ReadOnlyDb ro(path);
  if (!ro.db) {
    census.error = "cannot open " + path;
    return census;
  }
  for (size_t i = 0; i < kPurgedTables.size(); ++i) {
    const std::string sql =
        std::string("SELECT count(*), coalesce(sum(ID), 0), coalesce(sum((ID * ID) % 1000000007), 0) FROM [") +
        kPurgedTables[i] + "]";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(ro.db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK || sqlite3_step(stmt) != SQLITE_ROW) {
      census.error = std::string(kPurgedTables[i]) + ": " + sqlite3_errmsg(ro.db);
      sqlite3_finalize(stmt);
      return census;
    }
    census.tables[i] = {sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1), sqlite3_column_int64(stmt, 2)};
    sqlite3_finalize(stmt);
  }
  return census;
}

std::string quickCheck(const std::string& path) {
  ReadOnlyDb ro(path);
  if (!ro.db) return "cannot open " + path;
  sqlite3_stmt* stmt = nullptr;
  std::string verdict;
  if (sqlite3_prepare_v2(ro.db, "PRAGMA quick_check", -1, &stmt, nullptr) != SQLITE_OK) return sqlite3_errmsg(ro.db);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    if (!verdict.empty()) verdict += "; ";
    verdict += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  }
  sqlite3_finalize(stmt);
  return verdict;
}

long long defaultShipFrom(const std::string& path) {
  ReadOnlyDb ro(path);
  if (!ro.db) return 0;
  sqlite3_stmt* stmt = nullptr;
  long long id = 0;
  if (sqlite3_prepare_v2(ro.db, "SELECT DefaultShipFrom FROM Setup LIMIT 1", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW)
    id = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return id;
}

}  // namespace bench
