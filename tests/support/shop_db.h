// Shop databases for tests: the schema the purges work on, built with the
// SQLite C API in a temporary folder, and direct reads of what is left.
#pragma once

#include <QString>
#include <QStringList>

namespace test {

// Creates a database at `path` with the shop tables and their indexes, the
// same schema the sample maker writes (sampledb::schemaSql, indexSql).
// Returns false (and leaves a message in `error` when given) on failure.
bool createShopDb(const QString& path, QString* error = nullptr);

// createShopDb, then runs `rows` (INSERT statements) on it.
bool createShopDbWithRows(const QString& path, const QString& rows, QString* error = nullptr);

// Runs `sql` (one or more statements) on the database; false on failure.
bool sqlExec(const QString& path, const QString& sql, QString* error = nullptr);

// The first column of every row of `sql`, as text ("<null>" for Null).
QStringList sqlColumn(const QString& path, const QString& sql);

// The first column of the first row of `sql` as a number; -1 on failure.
long long sqlScalar(const QString& path, const QString& sql);

}  // namespace test
