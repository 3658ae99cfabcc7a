// The compaction engine: rebuilds an SQLite database file into a new file
// without the space of deleted rows, and makes sure the new file is whole.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/status.h"

struct sqlite3;

// Ok when the file at `path` (through paths::resolve) begins with the 16
// bytes every SQLite database file begins with, the test the compaction
// makes before it reads a file; SQLITE_NOTADB ("file is not a database")
// otherwise, an empty file included; the errno of a failed open or read.
Status checkDatabaseHeader(const QString& path);

class CompactionEngine {
 public:
  // The write lock of a database being compacted: an SQLite connection of
  // its own on the database in an open BEGIN IMMEDIATE transaction. Other
  // programs still read; their writes wait (or fail busy) until release.
  // Released (rolled back and closed) on destruction.
  class SourceLock {
   public:
    SourceLock() = default;
    ~SourceLock() { release(); }
    SourceLock(const SourceLock&) = delete;
    SourceLock& operator=(const SourceLock&) = delete;
    // True while the lock is held.
    bool held() const { return m_db != nullptr; }
    // Lets other writers in again. Never fails; a second call does nothing.
    void release();

   private:
    friend class CompactionEngine;
    sqlite3* m_db = nullptr;
    CompactionEngine* m_engine = nullptr;
    QByteArray m_path;  // resolved path of the locked database
  };

  // Locks the database `source` (through paths::resolve) against other
  // writers until `lock` is released, so that no commit lands between the
  // compaction reading it and the compacted copy replacing it. The lock must
  // be released only after that replacement (a rename over the path; the
  // file must not be opened and closed by hand meanwhile, which would drop
  // the lock). Ok with `lock` held; also Ok with `lock` not held when there
  // is nothing to lock: the source is missing, not a regular file, not an
  // SQLite database in rollback-journal mode, or cannot be written by us at
  // all (CompactDatabase and the copy back then refuse it as before). Fails
  // with EBUSY and "The file is in use by another program." when another
  // program holds the file open for writing or keeps the write lock past the
  // busy timeout (two seconds), else with SQLite's code and message; `lock`
  // is then not held and the database untouched.
  Status lockSource(const QString& source, SourceLock& lock);

  // Writes a compacted copy of the database `source` to `destination` (a
  // path that must not exist yet); both go through paths::resolve. Ok when
  // the destination is on disk, flushed, passes SQLite's integrity check and
  // has the source's journal mode when that is WAL;
  // the source is unchanged apart from a hot journal rolled back or a WAL
  // checkpointed. Fails with a number and description, leaving no
  // destination behind, when: the destination exists (EEXIST); the source
  // cannot be read (errno, or the SQLite extended code and message); the
  // source is in use by another program or keeps a non-empty -journal or
  // -wal after our connection is closed (EBUSY, "The file is in use by
  // another program."); the copy fails its check (SQLITE_CORRUPT). Holds no
  // connection between calls.
  Status CompactDatabase(const QString& source, const QString& destination);

 private:
  // The database a SourceLock of this engine holds, and its connection.
  QByteArray m_lockedPath;
  sqlite3* m_lockDb = nullptr;
};
