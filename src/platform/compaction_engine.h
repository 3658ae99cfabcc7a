// The compaction engine: rebuilds an SQLite database file into a new file
// without the space of deleted rows, and makes sure the new file is whole.
#pragma once

#include <QString>

#include "platform/status.h"

class CompactionEngine {
 public:
  // Writes a compacted copy of the database `source` to `destination` (a
  // path that must not exist yet); both go through paths::resolve. Ok when
  // the destination is on disk, flushed, and passes SQLite's quick check;
  // the source is unchanged apart from a hot journal rolled back or a WAL
  // checkpointed. Fails with a number and description, leaving no
  // destination behind, when: the destination exists (EEXIST); the source
  // cannot be read (errno, or the SQLite extended code and message); the
  // source is in use by another program or keeps a non-empty -journal or
  // -wal after our connection is closed (EBUSY, "The file is in use by
  // another program."); the copy fails its check (SQLITE_CORRUPT). Holds no
  // connection between calls.
  Status CompactDatabase(const QString& source, const QString& destination);
};
