// The shop's database file as one object: its path resolved once, its header
// and change-counter stamp, the journal or WAL beside it, whether another
// program uses it, and the write lock of a compaction or restore.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>

#include <QByteArray>
#include <QString>

#include "platform/core/status.h"
#include "platform/filesafety/sqlite_handle.h"

namespace db {

// The first 16 bytes of every SQLite database file: "SQLite format 3\0".
inline constexpr char kSqliteMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                          'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};

// The file change counter in the first 28 bytes of a database file: a
// big-endian number at offset 24.
inline uint32_t changeCounterOf(const unsigned char* head) {
  return (uint32_t(head[24]) << 24) | (uint32_t(head[25]) << 16) | (uint32_t(head[26]) << 8) | uint32_t(head[27]);
}

// What a copy of a database file is checked against: SQLite's file change
// counter (header offset 24, incremented by every commit in rollback-journal
// mode) and the file's size and modification time, which also move when a
// writer spills pages and then rolls them back.
struct DbStamp {
  bool database = false;  // the file begins with kSqliteMagic
  uint32_t counter = 0;
  off_t size = 0;
  struct timespec mtime = {};
};

// The stamp of the open file `fd`, read with pread so the descriptor's
// offset and locks are left alone. Ok with database false for a file that
// is no SQLite database (or too short to be one); the errno of a failed read.
Status readStamp(int fd, DbStamp& out);

// True when both stamps are of one unchanged file.
bool sameStamp(const DbStamp& a, const DbStamp& b);

// The "file:" URI of the native path `nativePath` with `query` appended
// ("immutable=1", ...): every byte but letters, digits, "-._~" and "/"
// percent-escaped, so that "?", "#" and "%" in a file name stay part of it.
// For sqlite3_open_v2 with SQLITE_OPEN_URI.
QByteArray fileUri(const QByteArray& nativePath, const char* query);

class DbFile {
 public:
  // The file at `path`, resolved through paths::resolve here and only here.
  explicit DbFile(const QString& path);
  // The same file under its native, already resolved name.
  static DbFile fromNative(const QByteArray& nativePath);

  // The file a symbolic link at this path names, links resolved all the
  // way; this file itself when it is no link or cannot be resolved.
  DbFile followed() const;

  const QByteArray& nativePath() const { return m_path; }
  QString path() const;

  // Ok when the file begins with kSqliteMagic; SQLITE_NOTADB ("file is not a
  // database") otherwise, an empty file included; the errno of a failed open
  // or read. While this process holds the file open (a lock of ours), it is
  // read through SQLite, since a descriptor opened and closed by hand would
  // drop every lock of this process on it.
  Status checkHeader() const;
  // True when the path names a regular file (links followed) that begins
  // with kSqliteMagic. Never blocks on a FIFO, never fails.
  bool beginsAsDatabase() const;
  // How the file's header says it journals: Rollback (read and write
  // versions 1), Wal (2), or None for no database or another version.
  enum class JournalMode { None, Rollback, Wal };
  JournalMode journalMode() const;
  // Which file the name leads to and its header's change counter: in
  // rollback-journal mode every commit adds one to it. Fails when the file
  // cannot be read or is no database. Reads through SQLite while this
  // process holds the file, so no lock of ours goes.
  struct StateMark {
    dev_t device = 0;
    ino_t inode = 0;
    uint32_t counter = 0;
  };
  Status stateMark(StateMark& out) const;
  // True when a copy from or onto the file could tear it: a non-empty -wal,
  // or a -journal SQLite would play back (not empty, its header's first byte
  // set; one that cannot be read counts). Beside the file a link names.
  bool hasLiveSidecar() const;
  // The full name SQLite gives the file's rollback journal: its folder with
  // links resolved, then its name; empty when the folder cannot be resolved.
  QByteArray journalName() const;

  // Ok when no other process may be writing the regular file: a write lease
  // was granted, or /proc shows every holder reading only. EBUSY with
  // files::kInUseText when a holder writes or an unseen process holds it,
  // EBUSY with files::kUndecidedText when neither can answer. A missing file
  // or no regular file is Ok.
  Status useStatus() const;

  // The write lock of a database being compacted or replaced: a connection
  // of its own in an open BEGIN IMMEDIATE transaction. Other programs still
  // read; their writes wait (or fail busy) until it goes. Exists only while
  // held; released (rolled back and closed) on destruction.
  class WriteLock {
   public:
    WriteLock(WriteLock&&) noexcept = default;
    WriteLock& operator=(WriteLock&&) noexcept = default;
    ~WriteLock();

   private:
    friend class DbFile;
    explicit WriteLock(RawConnection&& connection) : m_connection(std::move(connection)) {}
    RawConnection m_connection;
  };

  // Takes the write lock, so that no commit lands until it is released. In
  // WAL mode the WAL is first folded into the file and must be empty when
  // the lock is had, so the file alone is the whole database while it is
  // held; letting go never checkpoints into, or deletes, the WAL beside the
  // name, which by then may be a new file's. A held lock on success.
  // Without a lock and `refusal` Ok when there is nothing to lock: the file
  // is missing, no regular file, no SQLite database in rollback-journal or
  // WAL mode, or one we may only read (the steps after refuse or handle
  // it). Without a lock and `refusal` EBUSY with files::kInUseText when
  // another program writes it, keeps its write lock past the busy timeout,
  // keeps a reader in the WAL, or commits again each time the WAL was
  // emptied; else SQLite's code and message; the file's rows are then
  // untouched. The lock must outlive the rename that replaces the file, and
  // the file must not be opened and closed by hand meanwhile.
  std::optional<WriteLock> lockWrites(Status& refusal) const;

 private:
  DbFile() = default;
  QByteArray m_path;  // resolved, native
};

}  // namespace db
