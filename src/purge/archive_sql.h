// Pieces of SQL the archive's statements share.
#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "purge/purge_db_tables.h"

namespace archive {

// The bookkeeping table of the archive: one row per shop table whose
// archiving or undo is under way, so that the next run knows which tables
// may have rows in both files.
inline constexpr const char* kPendingTable = "ArchivePending";

// The shop tables the archive keeps, in the order a full run purges them.
const std::vector<ShopTable>& archivedTables();

// `name` as a bracketed identifier: "[Contacts]".
QString bracketed(const QString& name);

// `text` as an SQL string literal, quotes doubled.
QString sqlText(const QString& text);

// The columns, each written "<alias>.[column]", joined by ", ".
QString columnList(const QStringList& columns, const QString& alias);

// True in SQL when the rows `a` and `b` hold the same value in every one
// of `columns` (Null equal to Null): "a.[ID] = b.[ID] And a.[X] Is b.[X]...".
// The first column is compared with "=" so an index on it serves.
QString sameRow(const QStringList& columns, const QString& a, const QString& b);

}  // namespace archive
