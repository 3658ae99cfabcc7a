// The database engine: connections, statements and client-side result sets
// over the SQLite C API, taking statements in the shop database's dialect.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/core/status.h"

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// Field type codes (the ADO data-type codes).
inline constexpr int kTypeEmpty = 0;
inline constexpr int kTypeSmallInt = 2;
inline constexpr int kTypeInteger = 3;
inline constexpr int kTypeDouble = 5;
inline constexpr int kTypeCurrency = 6;
inline constexpr int kTypeDate = 7;
inline constexpr int kTypeBoolean = 11;
inline constexpr int kTypeNumeric = 131;
inline constexpr int kTypeVarChar = 202;
inline constexpr int kTypeLongVarChar = 203;
inline constexpr int kTypeBinary = 205;

// Object states: closed, or open.
inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;

// Failure number of a connection text without a database path.
inline constexpr int32_t kErrConnectionText = 0x10002;
// Failure number of a statement text holding more than one statement.
inline constexpr int32_t kErrTrailingText = 0x10003;

// The type code of a declared column type ("" when none was declared, then
// -1: the code comes from each value).
int typeCodeOfDeclared(const QString& declaredType);

// One column of the current row: its name, type code and value (an invalid
// QVariant for null; a QDateTime for a date column holding ISO-8601 text).
struct Field {
  QString name;
  int type = kTypeEmpty;
  QVariant value;
};

// The result of a query, held in memory; it needs no connection once
// opened. The query runs to its end (a failure on any row fails it); its
// first row is the current row, the only one kept.
class Recordset {
 public:
  int state() const { return m_state; }
  // True when there is no current row.
  bool eof() const { return m_state != kStateOpen || !m_row; }
  // The field `name` (case-insensitive) of the current row; fails with
  // number 3021 at end of data and 3265 when no column has that name.
  Status field(const QString& name, Field& out) const;
  // Releases the row; state becomes closed.
  void close();

 private:
  friend class Connection;
  int m_state = kStateClosed;
  QStringList m_names;
  std::vector<int> m_declaredTypes;  // -1: from the value
  std::optional<std::vector<QVariant>> m_row;
};

// One connection to a database file; closed when destroyed.
class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the file named after "Data Source=" in `connectionText` (through
  // the path resolver) read-write (read-only for a file without any write
  // permission bit, or after setReadOnlyConnections), never creating it;
  // busy timeout 2 s. After setReadOnlyConnections a file whose header says
  // WAL and that has no -wal beside it is opened as immutable, so that
  // SQLite creates no -wal or -shm beside it.
  // Fails with the engine's code and message when the file is missing or
  // cannot be opened; the connection then stays closed.
  Status open(const QString& connectionText);
  int state() const { return m_db ? kStateOpen : kStateClosed; }
  void close();

  // Runs one statement to completion, discarding any rows; the rows it
  // changed go into changedRowsSoFar(). Fails with the engine's code and
  // message (nothing is run on a dialect failure).
  Status execute(const QString& statement);

  // Runs a query to its end and keeps its first row in `rs`, which opens on
  // success and stays closed on failure.
  Status query(const QString& statement, Recordset& rs);

 private:
  // Observes, translates and prepares one statement; fails on a dialect
  // error, an engine error or text after the statement.
  Status prepare(const QString& statement, sqlite3_stmt** stmt);
  sqlite3* m_db = nullptr;
};

// With `readOnly` true, every connection opened from now on is opened
// read-only, whatever the file's permissions, so no statement of this
// process can change a database file; false restores the usual opening.
void setReadOnlyConnections(bool readOnly);

// The rows that the statements run through Connection::execute in this
// process have inserted, updated or deleted themselves (SQLite's
// sqlite3_changes: rows changed by triggers or foreign-key actions do not
// count), summed since the program started; a statement that failed adds
// nothing. The difference across a call of a routine tells what its own
// statements changed, whatever other programs did to the file meanwhile.
// Process-wide, as a window's run hands each statement to a worker thread.
qint64 changedRowsSoFar();

// What a caller adds to the engine for a while: how its statements are
// translated (instead of the plain dialect translation), and what every
// connection opened meanwhile is given (SQL functions of its own).
// Either may be empty.
struct StatementRules {
  std::function<Status(const QString& statement, QString& sql)> translate;
  std::function<Status(sqlite3* db)> prepareConnection;
};

// Applies `rules` to every connection opened and every statement prepared
// while it lives, in this process; the innermost of nested scopes applies.
// Destroyed, it restores the rules that applied before.
class StatementRulesScope {
 public:
  explicit StatementRulesScope(StatementRules rules);
  ~StatementRulesScope();
  StatementRulesScope(const StatementRulesScope&) = delete;
  StatementRulesScope& operator=(const StatementRulesScope&) = delete;

 private:
  StatementRules m_rules;
  const StatementRules* m_outer;
};

// Calls `observer` with every statement text as it reaches the engine,
// before translation; an empty function removes it.
void setStatementObserver(std::function<void(const QString&)> observer);

}  // namespace db
