// Read-only queries on a generated database for the tool tests.
#include "sqlite_query.h"

#include <sqlite3.h>
#include <QFile>

namespace test {

namespace {

template <typename RowFn>
bool query(const QString& dbPath, const QString& sql, RowFn onRow) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  sqlite3_stmt* stmt = nullptr;
  bool ok = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK;
  int rc = SQLITE_DONE;
  while (ok && (rc = sqlite3_step(stmt)) == SQLITE_ROW) onRow(stmt);
  ok = ok && rc == SQLITE_DONE;
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return ok;
}

}  // namespace

std::int64_t scalar(const QString& dbPath, const QString& sql) {
  std::int64_t value = -1;
  bool first = true;
  const bool ok = query(dbPath, sql, [&](sqlite3_stmt* stmt) {
    if (first) value = sqlite3_column_int64(stmt, 0);
    first = false;
  });
  return ok ? value : -1;
}

QStringList column(const QString& dbPath, const QString& sql, int index) {
  QStringList values;
  const bool ok = query(dbPath, sql, [&](sqlite3_stmt* stmt) {
    const auto* text = sqlite3_column_text(stmt, index);
    values << (text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QStringLiteral("<null>"));
  });
  return ok ? values : QStringList();
}

}  // namespace test
