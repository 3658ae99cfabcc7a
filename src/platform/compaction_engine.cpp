// The compaction engine over SQLite's VACUUM INTO.
#include "platform/compaction_engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include "platform/files.h"
#include "platform/paths.h"

namespace {

Status errnoStatus(int err) { return Status::Error(err, QString::fromLocal8Bit(std::strerror(err))); }

Status inUse() { return Status::Error(EBUSY, QString::fromLatin1(files::kInUseText)); }

// A file-system shim over SQLite's default one for the compaction
// connection: the rollback journal of the destination is an anonymous,
// already-unlinked temporary file, so a compaction killed half way leaves no
// journal beside the destination, only the destination itself.
namespace journal_shim {

sqlite3_vfs* base = nullptr;
sqlite3_vfs vfs;
QByteArray redirected;  // full path of the destination's journal

int open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  if (name && (flags & SQLITE_OPEN_MAIN_JOURNAL) && !redirected.isEmpty() && redirected == name) {
    flags = (flags & ~SQLITE_OPEN_MAIN_JOURNAL) | SQLITE_OPEN_TEMP_JOURNAL | SQLITE_OPEN_DELETEONCLOSE;
    return base->xOpen(base, nullptr, file, flags, outFlags);
  }
  return base->xOpen(base, name, file, flags, outFlags);
}

int access(sqlite3_vfs*, const char* name, int flags, int* result) {
  if (name && !redirected.isEmpty() && redirected == name) {
    *result = 0;
    return SQLITE_OK;
  }
  return base->xAccess(base, name, flags, result);
}

int remove(sqlite3_vfs*, const char* name, int syncDir) {
  if (name && !redirected.isEmpty() && redirected == name) return SQLITE_OK;
  return base->xDelete(base, name, syncDir);
}

// The shim's name, registered on first use.
const char* name() {
  if (!base) {
    base = sqlite3_vfs_find(nullptr);
    vfs = *base;
    vfs.zName = "kestrova-compaction";
    vfs.pNext = nullptr;
    vfs.xOpen = open;
    vfs.xDelete = remove;
    vfs.xAccess = access;
    sqlite3_vfs_register(&vfs, 0);
  }
  return vfs.zName;
}

// The full path SQLite gives the journal of `path`: its folder with links
// resolved, then its name; empty when the folder cannot be resolved.
QByteArray journalOf(const QByteArray& path) {
  const QByteArray abs = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absoluteFilePath());
  const int slash = abs.lastIndexOf('/');
  char folder[PATH_MAX];
  if (slash < 0 || !::realpath(slash == 0 ? "/" : abs.left(slash).constData(), folder)) return {};
  QByteArray out(folder);
  if (!out.endsWith('/')) out += '/';
  return out + abs.mid(slash + 1) + "-journal";
}

}  // namespace journal_shim

// One SQLite connection, closed on scope exit.
class Connection {
 public:
  ~Connection() { close(); }
  Status open(const QByteArray& path, int flags, const char* vfs = nullptr) {
    const int rc = sqlite3_open_v2(path.constData(), &m_db, flags, vfs);
    if (rc != SQLITE_OK) return error(rc);
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 2000);
    return Status::Ok();
  }
  // Runs one statement with an optional text parameter; the first column of
  // its rows, joined by newlines, goes to `firstColumn` when given.
  Status run(const char* sql, const QByteArray* param = nullptr, QString* firstColumn = nullptr) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return error(rc);
    if (param) sqlite3_bind_text(stmt, 1, param->constData(), int(param->size()), SQLITE_TRANSIENT);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      if (!firstColumn) continue;
      if (!firstColumn->isEmpty()) firstColumn->append(QLatin1Char('\n'));
      firstColumn->append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE ? Status::Ok() : error(rc);
  }
  Status close() {
    if (!m_db) return Status::Ok();
    const int rc = sqlite3_close(m_db);
    if (rc != SQLITE_OK) {
      const Status s = error(rc);
      sqlite3_close_v2(m_db);
      m_db = nullptr;
      return s;
    }
    m_db = nullptr;
    return Status::Ok();
  }

 private:
  Status error(int rc) const {
    const int code = m_db ? sqlite3_extended_errcode(m_db) : rc;
    const char* msg = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    return Status::Error(code, QString::fromUtf8(msg));
  }
  sqlite3* m_db = nullptr;
};

// Ok when the file begins with the 16 bytes every SQLite database file
// begins with; SQLITE_NOTADB otherwise (an empty file included).
Status sqliteHeader(const QByteArray& path) {
  static const char kMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errnoStatus(errno);
  char head[sizeof kMagic];
  ssize_t got = 0;
  int err = 0;
  while (got < ssize_t(sizeof head)) {
    const ssize_t n = ::read(fd, head + got, sizeof head - size_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  if (err) return errnoStatus(err);
  if (got != ssize_t(sizeof head) || std::memcmp(head, kMagic, sizeof head) != 0)
    return Status::Error(SQLITE_NOTADB, QStringLiteral("file is not a database"));
  return Status::Ok();
}

// The same check read through the open SQLite connection `db`, for a file
// this process holds locked: opening and closing it by hand would drop the
// locks of every connection of this process on it.
Status sqliteHeaderThrough(sqlite3* db) {
  static const char kMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods)
    return Status::Error(SQLITE_CANTOPEN, QStringLiteral("unable to open database file"));
  char head[sizeof kMagic];
  const int rc = file->pMethods->xRead(file, head, int(sizeof head), 0);
  if (rc == SQLITE_OK && std::memcmp(head, kMagic, sizeof head) == 0) return Status::Ok();
  if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ) return Status::Error(rc, QString::fromUtf8(sqlite3_errstr(rc)));
  return Status::Error(SQLITE_NOTADB, QStringLiteral("file is not a database"));
}

// True when the database file at `path` begins as an SQLite database whose
// header says rollback journal (read and write versions 1). Opens and closes
// the file by hand: only for a file no connection of ours has open.
bool rollbackJournalDatabase(const QByteArray& path) {
  if (!sqliteHeader(path).ok()) return false;
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char versions[2] = {0, 0};
  const bool read = ::pread(fd, versions, sizeof versions, 18) == ssize_t(sizeof versions);
  ::close(fd);
  return read && versions[0] == 1 && versions[1] == 1;
}

// Compacts `src` into `dst`; `journalMode` gets the source's mode ("wal",
// "delete", ...), which VACUUM INTO does not carry over.
Status compact(const QByteArray& src, const QByteArray& dst, QString& journalMode) {
  Connection source;
  if (Status s = source.open(src, SQLITE_OPEN_READWRITE, journal_shim::name()); !s.ok()) return s;
  // Reading the schema rolls a hot journal back; a WAL is folded in.
  if (Status s = source.run("PRAGMA schema_version"); !s.ok()) return s;
  if (Status s = source.run("PRAGMA journal_mode", nullptr, &journalMode); !s.ok()) return s;
  if (Status s = source.run("PRAGMA wal_checkpoint(TRUNCATE)"); !s.ok()) return s;
  if (Status s = source.run("VACUUM INTO ?1", &dst); !s.ok()) return s;
  return source.close();
}

Status check(const QByteArray& dst) {
  Connection copy;
  if (Status s = copy.open(dst, SQLITE_OPEN_READONLY, journal_shim::name()); !s.ok()) return s;
  QString verdict;
  // The full check, not quick_check: only it compares every index entry
  // with its row (measured at 1 GB in bench/README.md).
  if (Status s = copy.run("PRAGMA integrity_check", nullptr, &verdict); !s.ok()) return s;
  if (verdict != QLatin1String("ok"))
    return Status::Error(SQLITE_CORRUPT, QStringLiteral("The compacted database failed its check: ") + verdict);
  return copy.close();
}

// Gives the checked copy `dst` the source's WAL mode; its WAL and shared
// memory files go again when the connection closes.
Status keepWal(const QByteArray& dst) {
  Connection copy;
  if (Status s = copy.open(dst, SQLITE_OPEN_READWRITE, journal_shim::name()); !s.ok()) return s;
  QString mode;
  if (Status s = copy.run("PRAGMA journal_mode=WAL", nullptr, &mode); !s.ok()) return s;
  if (mode != QLatin1String("wal"))
    return Status::Error(SQLITE_ERROR, QStringLiteral("The compacted database kept journal mode ") + mode);
  return copy.close();
}

}  // namespace

Status checkDatabaseHeader(const QString& path) { return sqliteHeader(QFile::encodeName(paths::resolve(path))); }

Status CompactionEngine::CompactDatabase(const QString& source, const QString& destination) {
  const QByteArray src = QFile::encodeName(paths::resolve(source));
  const QByteArray dst = QFile::encodeName(paths::resolve(destination));

  struct stat st;
  if (::lstat(dst.constData(), &st) == 0) return errnoStatus(EEXIST);
  if (::stat(src.constData(), &st) != 0) return errnoStatus(errno);
  if (S_ISDIR(st.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(st.st_mode)) return errnoStatus(EINVAL);
  if (::access(src.constData(), R_OK) != 0) return errnoStatus(errno);
  if (Status s = files::useStatus(QFile::decodeName(src)); !s.ok()) return s;
  // SQLite would take an empty file for an empty database and compact it
  // into one; anything that does not begin as a database file is refused.
  const bool locked = m_lockDb && m_lockedPath == src;
  if (Status s = locked ? sqliteHeaderThrough(m_lockDb) : sqliteHeader(src); !s.ok()) return s;

  // A journal left beside the absent destination (a compaction killed by an
  // earlier version) belongs to no database any more.
  struct stat journalSt;
  const QByteArray staleJournal = dst + "-journal";
  if (::lstat(staleJournal.constData(), &journalSt) == 0 && S_ISREG(journalSt.st_mode)) ::unlink(staleJournal.constData());

  const QByteArray srcJournal = journal_shim::journalOf(src);
  const QByteArray dstJournal = journal_shim::journalOf(dst);
  journal_shim::redirected = dstJournal != srcJournal ? dstJournal : QByteArray();
  QString journalMode;
  Status result = compact(src, dst, journalMode);
  if (result.ok() && files::hasLiveSidecar(QFile::decodeName(src))) result = inUse();
  if (result.ok()) result = files::syncFileAndFolder(QFile::decodeName(dst));
  if (result.ok()) result = check(dst);
  if (result.ok() && journalMode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
    result = keepWal(dst);
    if (result.ok()) result = files::syncFileAndFolder(QFile::decodeName(dst));
  }
  journal_shim::redirected.clear();
  if (!result.ok()) {
    // The destination did not exist before; whatever is there is ours.
    ::unlink(dst.constData());
  }
  return result;
}

Status CompactionEngine::lockSource(const QString& source, SourceLock& lock) {
  lock.release();
  const QByteArray src = QFile::encodeName(paths::resolve(source));
  struct stat st;
  if (::stat(src.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return Status::Ok();
  if (Status s = files::useStatus(QFile::decodeName(src)); !s.ok()) return s;
  // Anything else CompactDatabase refuses or handles as before.
  if (m_lockDb || !rollbackJournalDatabase(src)) return Status::Ok();

  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(src.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    rc = sqlite3_db_readonly(db, "main") == 1 ? SQLITE_READONLY : sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    lock.m_db = db;
    lock.m_engine = this;
    lock.m_path = src;
    m_lockDb = db;
    m_lockedPath = src;
    return Status::Ok();
  }
  const int code = db ? sqlite3_extended_errcode(db) : rc;
  const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
  sqlite3_close_v2(db);
  if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) return inUse();
  // A file we may only read cannot be replaced either; the copy back says so.
  if ((code & 0xff) == SQLITE_READONLY || (code & 0xff) == SQLITE_NOTADB) return Status::Ok();
  return Status::Error(code, message);
}

void CompactionEngine::SourceLock::release() {
  if (!m_db) return;
  // Nothing was written in the transaction; the rollback only lets go.
  sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(m_db);
  if (m_engine && m_engine->m_lockDb == m_db) {
    m_engine->m_lockDb = nullptr;
    m_engine->m_lockedPath.clear();
  }
  m_db = nullptr;
  m_engine = nullptr;
  m_path.clear();
}
