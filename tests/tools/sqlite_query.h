// Read-only queries on a generated database for the tool tests.
#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

namespace test {

// The first column of the first row of `sql` as an integer; -1 when the query fails.
std::int64_t scalar(const QString& dbPath, const QString& sql);

// The first column of every row of `sql` as text (Null as "<null>"); empty on failure.
QStringList column(const QString& dbPath, const QString& sql, int index = 0);

}  // namespace test
