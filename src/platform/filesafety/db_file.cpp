// The shop's database file: header, stamp, sidecars, in-use verdict and
// write lock, over POSIX and SQLite.
#include "platform/filesafety/db_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sqlite3.h>
#include <QFile>
#include <QFileInfo>

#include "platform/core/paths.h"
#include "platform/core/posix_io.h"
#include "platform/filesafety/file_holders.h"

namespace db {
namespace {

Status notADatabase() { return Status::Error(SQLITE_NOTADB, QStringLiteral("file is not a database")); }

// The file a symbolic link at `path` names, links resolved all the way;
// `path` itself when it is no link or cannot be resolved.
QByteArray followed(const QByteArray& path) {
  struct stat st;
  if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char target[PATH_MAX];
  return ::realpath(path.constData(), target) ? QByteArray(target) : path;
}

// The first `size` bytes of the file at `path` (fewer when it is shorter).
// While this process holds the file open they are read through an SQLite
// connection of its own, which keeps this process's locks on the file when
// it closes; a descriptor opened and closed by hand would drop them all.
Status readHead(const QByteArray& path, char* head, int size, int& got) {
  got = 0;
  struct stat st;
  if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && openHere(st.st_dev, st.st_ino)) {
    RawConnection c;
    if (Status s = c.open(path, SQLITE_OPEN_READONLY); !s.ok()) return s;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(c.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods)
      return Status::Error(SQLITE_CANTOPEN, QStringLiteral("unable to open database file"));
    const int rc = file->pMethods->xRead(file, head, size, 0);
    if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ)
      return Status::Error(rc, QString::fromUtf8(sqlite3_errstr(rc)));
    // A short read fills the rest with zeros, which no header ends in.
    got = rc == SQLITE_OK ? size : 0;
    return Status::Ok();
  }
  posix::Fd f(::open(path.constData(), O_RDONLY | O_CLOEXEC));
  if (!f.valid()) return posix::errnoStatus(errno);
  while (got < size) {
    const ssize_t n = ::read(f.get(), head + got, size_t(size - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return posix::errnoStatus(errno);
    if (n == 0) break;
    got += int(n);
  }
  return Status::Ok();
}

}  // namespace

Status readStamp(int fd, DbStamp& out) {
  out = DbStamp();
  struct stat st;
  if (::fstat(fd, &st) != 0) return posix::errnoStatus(errno);
  out.size = st.st_size;
  out.mtime = st.st_mtim;
  unsigned char head[28];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::pread(fd, head + got, sizeof head - got, off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return posix::errnoStatus(errno);
    if (n == 0) break;
    got += size_t(n);
  }
  if (got < sizeof head || std::memcmp(head, kSqliteMagic, sizeof kSqliteMagic) != 0) return Status::Ok();
  out.database = true;
  out.counter = changeCounterOf(head);
  return Status::Ok();
}

bool sameStamp(const DbStamp& a, const DbStamp& b) {
  return a.database == b.database && a.counter == b.counter && a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
         a.mtime.tv_nsec == b.mtime.tv_nsec;
}

QByteArray fileUri(const QByteArray& nativePath, const char* query) {
  return "file:" + nativePath.toPercentEncoding("/") + "?" + query;
}

DbFile::DbFile(const QString& path) : m_path(QFile::encodeName(paths::resolve(path))) {}

DbFile DbFile::fromNative(const QByteArray& nativePath) {
  DbFile f;
  f.m_path = nativePath;
  return f;
}

DbFile DbFile::followed() const { return fromNative(db::followed(m_path)); }

QString DbFile::path() const { return QFile::decodeName(m_path); }

Status DbFile::checkHeader() const {
  char head[sizeof kSqliteMagic];
  int got = 0;
  if (Status s = readHead(m_path, head, int(sizeof head), got); !s.ok()) return s;
  if (got != int(sizeof head) || std::memcmp(head, kSqliteMagic, sizeof head) != 0) return notADatabase();
  return Status::Ok();
}

bool DbFile::beginsAsDatabase() const {
  struct stat st;
  if (::stat(m_path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  posix::Fd f(::open(m_path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  char head[sizeof kSqliteMagic];
  return f.valid() && ::pread(f.get(), head, sizeof head, 0) == ssize_t(sizeof head) &&
         std::memcmp(head, kSqliteMagic, sizeof head) == 0;
}

DbFile::JournalMode DbFile::journalMode() const {
  // The read and write versions follow the magic at offsets 18 and 19: 1
  // for a rollback journal, 2 for WAL.
  struct stat st;
  if (::stat(m_path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return JournalMode::None;  // never wait on a FIFO
  char head[20];
  int got = 0;
  if (!readHead(m_path, head, int(sizeof head), got).ok() || got != int(sizeof head) ||
      std::memcmp(head, kSqliteMagic, sizeof kSqliteMagic) != 0)
    return JournalMode::None;
  if (head[18] == 1 && head[19] == 1) return JournalMode::Rollback;
  if (head[18] == 2 && head[19] == 2) return JournalMode::Wal;
  return JournalMode::None;
}

bool DbFile::hasLiveSidecar() const {
  // SQLite keeps the journal beside the file a link names.
  const QByteArray nativePath = db::followed(m_path);
  struct stat st;
  if (::stat((nativePath + "-wal").constData(), &st) == 0 && st.st_size > 0) return true;
  const QByteArray journal = nativePath + "-journal";
  if (::stat(journal.constData(), &st) != 0 || st.st_size == 0) return false;
  posix::Fd f(::open(journal.constData(), O_RDONLY | O_CLOEXEC));
  char first = 0;
  // A journal that cannot be read is taken as live.
  if (!f.valid() || ::pread(f.get(), &first, 1, 0) != 1) return true;
  return first != 0;
}

QByteArray DbFile::journalName() const {
  const QByteArray abs = QFile::encodeName(QFileInfo(path()).absoluteFilePath());
  const int slash = abs.lastIndexOf('/');
  char folder[PATH_MAX];
  if (slash < 0 || !::realpath(slash == 0 ? "/" : abs.left(slash).constData(), folder)) return {};
  QByteArray out(folder);
  if (!out.endsWith('/')) out += '/';
  return out + abs.mid(slash + 1) + "-journal";
}

Status DbFile::stateMark(StateMark& out) const {
  out = StateMark();
  struct stat st;
  if (::stat(m_path.constData(), &st) != 0) return posix::errnoStatus(errno);
  char head[28];
  int got = 0;
  if (Status s = readHead(m_path, head, int(sizeof head), got); !s.ok()) return s;
  if (got < int(sizeof head) || std::memcmp(head, kSqliteMagic, sizeof kSqliteMagic) != 0)
    return Status::Error(SQLITE_NOTADB, QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB)));
  out = StateMark{st.st_dev, st.st_ino, changeCounterOf(reinterpret_cast<const unsigned char*>(head))};
  return Status::Ok();
}

Status DbFile::useStatus() const { return db::useStatus(m_path); }

namespace {

// The size of the WAL beside the database `path`; 0 when there is none.
off_t walSize(const QByteArray& path) {
  struct stat st;
  return ::stat((path + "-wal").constData(), &st) == 0 ? st.st_size : 0;
}

// In WAL mode a commit goes to the -wal file alone, and the old file's WAL
// would be played onto whatever replaces it. So the write lock is taken
// only with the WAL folded into the file and emptied: while the lock is
// held no commit can fill it again, and the file alone is the database. A
// commit that lands between the checkpoint and the lock makes it try again.
Status lockEmptyWal(RawConnection& c, const QByteArray& path) {
  // Letting go of the lock after the file was replaced must not checkpoint
  // into, or delete, the WAL that is by then the new file's.
  sqlite3_db_config(c.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  constexpr int kTries = 5;
  for (int i = 0; i < kTries; ++i) {
    QString busy;
    if (Status s = c.run("PRAGMA wal_checkpoint(TRUNCATE)", nullptr, &busy); !s.ok()) return s;
    if (busy != QLatin1String("0")) return files::inUseStatus();  // a reader kept it past the timeout
    if (Status s = c.run("BEGIN IMMEDIATE"); !s.ok()) return s;
    if (walSize(path) == 0) return Status::Ok();
    if (Status s = c.run("ROLLBACK"); !s.ok()) return s;
  }
  return files::inUseStatus();
}

}  // namespace

std::optional<DbFile::WriteLock> DbFile::lockWrites(Status& refusal) const {
  refusal = Status::Ok();
  struct stat st;
  if (::stat(m_path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  if (refusal = useStatus(); !refusal.ok()) return std::nullopt;
  // Anything else the compaction refuses or handles itself.
  const JournalMode mode = journalMode();
  if (mode == JournalMode::None) return std::nullopt;

  RawConnection c;
  Status s = c.open(m_path, SQLITE_OPEN_READWRITE);
  // A file we may only read cannot be replaced either; the replacement says
  // so (EACCES). The connection has no failure to tell here.
  if (s.ok() && sqlite3_db_readonly(c.handle(), "main") == 1) return std::nullopt;
  if (s.ok()) s = mode == JournalMode::Wal ? lockEmptyWal(c, followed().nativePath()) : c.run("BEGIN IMMEDIATE");
  if (s.ok()) return WriteLock(std::move(c));
  const int primary = s.number() & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
    refusal = files::inUseStatus();
  else if (primary != SQLITE_READONLY && primary != SQLITE_NOTADB)
    refusal = s;
  return std::nullopt;
}

DbFile::WriteLock::~WriteLock() {
  // Nothing was written in the transaction; the rollback only lets go.
  if (m_connection.handle()) sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace db
