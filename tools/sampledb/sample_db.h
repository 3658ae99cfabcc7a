// Writes realistic shop databases for the demo, the tests and the benchmarks.
// Dates are ISO-8601 text: 'YYYY-MM-DD HH:MM:SS' for a moment of the day,
// 'YYYY-MM-DD' for a whole day at midnight; Contacts.LastContactDate is always
// a whole day.
#pragma once

#include <cstdint>

#include <QDate>
#include <QString>
#include <QStringList>

namespace sampledb {

struct Options {
  double scale = 1.0;  // 1: a few hundred rows; 10000: several million (~1 GB)
  std::uint64_t seed = 1;
  QDate today;    // reference day; invalid means the real current date
  int years = 6;  // rows are dated over this many years before `today`
};

// Rows per table of one database.
struct RowCounts {
  std::int64_t contacts = 0;
  std::int64_t invoiceNumbers = 0;
  std::int64_t payments = 0;
  std::int64_t transactions = 0;
  std::int64_t manifest = 0;
  std::int64_t setup = 0;
  // Rows of the five tables the purge deletes from (Setup not counted).
  std::int64_t purged() const { return contacts + invoiceNumbers + payments + transactions + manifest; }
  bool operator==(const RowCounts&) const = default;
};

// The rows `make` writes for `options`: linear in the scale, at least one per table.
RowCounts plannedRows(const Options& options);

// CREATE TABLE statements of the six tables, in the order they are written.
QStringList schemaSql();

// CREATE INDEX statements (dates and account numbers), run after the bulk insert.
QStringList indexSql();

// Writes a new database at `path` (a real file path). Refuses, changing
// nothing, when anything exists at `path` (a file, a folder, a link, even a
// dangling one). Returns an empty text on success, otherwise what went wrong;
// a failed run leaves nothing at `path` and no temporary file beside it.
// The same options give a byte-identical file.
QString make(const QString& path, const Options& options);

}  // namespace sampledb
