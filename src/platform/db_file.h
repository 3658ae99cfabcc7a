// The shop's database file as one object: its path resolved once, its header
// and change-counter stamp, the journal or WAL beside it, whether another
// program uses it, and the write lock and journal redirect of a compaction.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>

#include <QByteArray>
#include <QString>

#include "platform/status.h"

struct sqlite3;
struct sqlite3_file;
struct sqlite3_vfs;

namespace db {

// The first 16 bytes of every SQLite database file: "SQLite format 3\0".
inline constexpr char kSqliteMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                          'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};

// How long a connection waits on another's lock before it fails busy, in ms.
inline constexpr int kBusyTimeoutMs = 2000;

// One bare SQLite connection (extended codes, the busy timeout), closed on
// scope exit; for the file's own checks, lock and compaction, which run no
// statement of the shop's dialect.
class RawConnection {
 public:
  RawConnection() = default;
  ~RawConnection() { close(); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  RawConnection(RawConnection&& other) noexcept : m_db(other.m_db) { other.m_db = nullptr; }
  RawConnection& operator=(RawConnection&& other) noexcept {
    if (this != &other) {
      close();
      m_db = other.m_db;
      other.m_db = nullptr;
    }
    return *this;
  }
  // Ok when open; SQLite's code and message otherwise, left closed.
  Status open(const QByteArray& path, int flags, const char* vfs = nullptr);
  // Runs one statement with an optional text parameter; the first column of
  // its rows, joined by newlines, goes to `firstColumn` when given. Fails
  // with SQLite's extended code and message.
  Status run(const char* sql, const QByteArray* param = nullptr, QString* firstColumn = nullptr);
  // Closes; Ok, or SQLite's failure (the handle is let go all the same).
  Status close();
  sqlite3* handle() const { return m_db; }
  // The current failure of the connection (or of `rc` when none is open).
  Status error(int rc) const;

 private:
  sqlite3* m_db = nullptr;
};

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

// True when another process holds the file (device, inode) open for writing,
// as far as /proc shows it; `complete` turns false when the descriptors of
// some process (another user's, to a program not running as root) could not
// be read.
bool writtenElsewhere(dev_t dev, ino_t ino, bool* complete = nullptr);

// The "file:" URI of the native path `nativePath` with `query` appended
// ("immutable=1", ...): every byte but letters, digits, "-._~" and "/"
// percent-escaped, so that "?", "#" and "%" in a file name stay part of it.
// For sqlite3_open_v2 with SQLITE_OPEN_URI.
QByteArray fileUri(const QByteArray& nativePath, const char* query);

// True when a descriptor of this process names the file (device, inode),
// or when that cannot be told: this process may then hold SQLite locks on
// it, which closing any descriptor of ours on the file would drop.
bool openHere(dev_t dev, ino_t ino);

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

// A file-system shim over SQLite's default one for the connections of one
// compaction: the rollback journal of the destination is an anonymous,
// already-unlinked temporary file, so a compaction killed half way leaves no
// journal beside the destination. Registered under a name of its own for as
// long as it lives; its state is its own (the shim's pAppData).
class JournalRedirect {
 public:
  // Redirects `journal` (a journalName()); an empty name redirects nothing.
  explicit JournalRedirect(const QByteArray& journal);
  ~JournalRedirect();
  JournalRedirect(const JournalRedirect&) = delete;
  JournalRedirect& operator=(const JournalRedirect&) = delete;
  // The name to open connections with.
  const char* vfsName() const { return m_name.constData(); }

 private:
  static int open(sqlite3_vfs*, const char*, sqlite3_file*, int, int*);
  static int access(sqlite3_vfs*, const char*, int, int*);
  static int remove(sqlite3_vfs*, const char*, int);
  bool redirects(const char* name) const;

  QByteArray m_journal;
  QByteArray m_name;
  sqlite3_vfs* m_base = nullptr;
  sqlite3_vfs* m_vfs = nullptr;
};

}  // namespace db
