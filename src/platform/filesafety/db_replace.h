// Replacing the content of a database in WAL mode through SQLite itself,
// for a restore: a program that opened the old file would otherwise go on
// writing frames into the WAL that a file renamed over it reads.
#pragma once

#include <QByteArray>

#include "platform/core/status.h"

namespace db {

// Under one exclusive lock of a connection of its own on the database
// `database` (native path, WAL mode): copies it as it is, page by page, to
// the new file `kept` (unless `kept` is empty), then writes every page of
// the database `source` into it as one transaction, and folds the WAL back
// into the file. No other program can read or commit from before the kept
// copy until the new content is in place; every program that had the file
// open sees the new content afterwards. Ok when done. Fails, the database
// as it was and no `kept` left behind, with EBUSY and files::kInUseText
// when another program has the database open or keeps a lock past the busy
// timeout, EEXIST when `kept` exists, else with SQLite's code and message
// (SQLITE_READONLY when the two files' page sizes differ).
Status replaceThroughSqlite(const QByteArray& database, const QByteArray& source, const QByteArray& kept);

// Copies the database `source` (native path) to `destination` through
// SQLite's backup interface, reading one consistent state under SQLite's
// own shared lock: for a database whose other users cannot be seen, where a
// plain copy of the file could tear a commit of theirs. The copy is written
// under a hidden name in the destination's folder, flushed, given the
// source's mode (and owner, where the process may) and renamed into place,
// so `destination` is the old file or the whole copy. Ok when done; EBUSY
// with files::kInUseText when a writer keeps its lock past the busy
// timeout; else SQLite's code and message or an errno, nothing left behind.
Status copyThroughSqlite(const QByteArray& source, const QByteArray& destination);

}  // namespace db
