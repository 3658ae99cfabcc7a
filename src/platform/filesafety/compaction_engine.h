// The compaction engine: rebuilds an SQLite database file into a new file
// without the space of deleted rows, and makes sure the new file is whole.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/core/status.h"

class CompactionEngine {
 public:
  // Writes a compacted copy of the database `source` to `destination` (a
  // path that must not exist yet); both go through paths::resolve. Ok when
  // the destination is on disk, flushed, passes SQLite's integrity check and
  // has the source's journal mode when that is WAL;
  // the source is unchanged apart from a hot journal rolled back or a WAL
  // checkpointed. A write lock of this process on the source is kept.
  // Fails with a number and description, leaving no
  // destination behind, when: the destination exists (EEXIST); the source
  // cannot be read (errno, or the SQLite extended code and message); the
  // source is in use by another program or keeps a non-empty -journal or
  // -wal after our connection is closed (EBUSY, "The file is in use by
  // another program."); the copy fails its check (SQLITE_CORRUPT). Holds no
  // connection between calls.
  //
  // `verifiedTables` names tables whose indexes the caller knows agree with
  // their rows in the state the source is in now (checked in this run, with
  // no commit since but the run's own). The copy's check then leaves their
  // index-against-row comparison out: every page and record of the copy is
  // still checked (quick_check), the other tables in full, and every table
  // must hold as many rows as in the source.
  Status CompactDatabase(const QString& source, const QString& destination, const QStringList& verifiedTables = {});

  // Compacts the database `path` where it is, through SQLite's own VACUUM,
  // for a file that must not be replaced by another: one in WAL mode, where
  // a program that opened the old file would write its frames into the WAL
  // the new file reads, and one whose other users cannot be seen. Every
  // program with the file open keeps working on the same file; their
  // writes wait (or fail busy) while it runs; no commit is lost. Then the
  // WAL is folded back into the file where nobody reads it, and the file is
  // checked. Ok when compacted and whole. Fails with EBUSY and "The file is
  // in use by another program." when another program keeps a lock past
  // the busy timeout (nothing changed), SQLite's code and message when the
  // compaction fails (nothing changed), SQLITE_CORRUPT when the compacted
  // file fails its check.
  Status CompactInPlace(const QString& path);
};
