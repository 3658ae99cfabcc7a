// Thin RAII owners of an SQLite connection and statement for the generator;
// failures come back as the engine's message (empty text = success).
#pragma once

#include <cstdint>
#include <string>

#include <sqlite3.h>
#include <QString>

namespace sampledb {

class Db {
 public:
  Db() = default;
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  ~Db() { close(); }

  // Opens the existing file at `path` read-write; "" or the engine's message.
  QString open(const QString& path);
  // Runs one or more statements; "" or the engine's message.
  QString exec(const char* sql);
  // Closes the connection; "" or the engine's message.
  QString close();
  QString lastError() const;
  sqlite3* handle() const { return m_db; }

 private:
  sqlite3* m_db = nullptr;
};

// A prepared statement that is bound, stepped and reset once per row.
class Stmt {
 public:
  Stmt() = default;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  ~Stmt() { sqlite3_finalize(m_stmt); }

  // Prepares `sql` on `db`; "" or the engine's message.
  QString prepare(Db& db, const char* sql);
  // Binds a column (1-based); the text must stay alive until insert() returns.
  void text(int column, const std::string& value);
  void null(int column);
  void integer(int column, std::int64_t value);
  void real(int column, double value);
  // Runs the statement once and resets it; "" or the engine's message.
  QString insert();

 private:
  sqlite3* m_db = nullptr;
  sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace sampledb
