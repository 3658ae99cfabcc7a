// Thin RAII owners of an SQLite connection and statement for the generator.
#include "sampledb/sqlite_handle.h"

namespace sampledb {

QString Db::open(const QString& path) {
  close();
  const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) return {};
  const QString error = m_db ? lastError() : QString::fromUtf8(sqlite3_errstr(rc));
  close();
  return error;
}

QString Db::exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return {};
  const QString error = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
  sqlite3_free(message);
  return error;
}

QString Db::close() {
  if (!m_db) return {};
  const int rc = sqlite3_close(m_db);
  if (rc != SQLITE_OK) {
    const QString error = lastError();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    return error;
  }
  m_db = nullptr;
  return {};
}

QString Db::lastError() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

QString Stmt::prepare(Db& db, const char* sql) {
  sqlite3_finalize(m_stmt);
  m_stmt = nullptr;
  m_db = db.handle();
  if (sqlite3_prepare_v2(m_db, sql, -1, &m_stmt, nullptr) == SQLITE_OK) return {};
  return db.lastError();
}

void Stmt::text(int column, const std::string& value) {
  sqlite3_bind_text(m_stmt, column, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
}

void Stmt::null(int column) { sqlite3_bind_null(m_stmt, column); }

void Stmt::integer(int column, std::int64_t value) { sqlite3_bind_int64(m_stmt, column, value); }

void Stmt::real(int column, double value) { sqlite3_bind_double(m_stmt, column, value); }

QString Stmt::insert() {
  const int rc = sqlite3_step(m_stmt);
  sqlite3_reset(m_stmt);
  if (rc == SQLITE_DONE) return {};
  return QString::fromUtf8(sqlite3_errmsg(m_db));
}

}  // namespace sampledb
