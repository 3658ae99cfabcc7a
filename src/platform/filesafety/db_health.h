// The health of a database file before the purge changes it: recovery of
// what an interrupted writer left beside it, and SQLite's integrity check.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "platform/core/status.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/integrity_parts.h"

namespace db {

// The check's lines kept for the operator.
inline constexpr int kMaxFindings = 5;

// Lets SQLite finish what a writer that is gone left beside the database at
// `path` (through paths::resolve): a hot rollback journal is rolled back, a
// WAL folded into the file and removed, but only after the same was played
// on a copy in a private folder beside it and the copy passed SQLite's
// integrity check. Ok when nothing was left, or it was recovered. Does
// nothing and answers Ok when no journal or WAL needs it, when the file is
// read-only or no regular file, or when another program may use the file (a
// live writer's journal is its own; the steps after refuse it). Fails with
// SQLITE_CORRUPT and a text for the operator when the recovered copy is
// damaged (a journal or WAL of another file), with the errno of making the
// copy (ENOSPC, ...), or with SQLite's code and message; the database, what
// is beside it and its folder are then as they were, unless SQLite's own
// recovery of the database itself failed after the trial passed.
Status recoverLeftovers(const QString& path);

// Runs SQLite's integrity check of each of `tables` the database at `path`
// holds (each with its indexes), split over up to `threads` connections
// and threads that all read the one committed state the file had when the
// check began (integrity::runParts with freeze); on one connection, table
// after table, when `threads` is 1 or SQLite's write lock cannot be had
// for that moment. Ok with `findings` empty when they are whole; Ok with
// the check's first lines (at most kMaxFindings, in the order of `tables`)
// when not, a check that stops on a damaged page giving its error as a
// line. Fails with SQLite's code and message, `findings` empty, when the
// database cannot be opened or its schema read: every statement on it then
// fails the same way. Never creates the file.
//
// `frozen`, when given, gets the file's DbFile::StateMark as it was when the
// split check's readers began; it is left unset when the tables were
// checked one after another.
Status checkTables(const QString& path, const QStringList& tables, QStringList& findings,
                   int threads = integrity::availableCores(), std::optional<DbFile::StateMark>* frozen = nullptr);

}  // namespace db
