// The WAL database's replacement through SQLite's backup interface.
#include "platform/filesafety/db_replace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <sqlite3.h>

#include "platform/core/posix_io.h"
#include "platform/core/vector_unit.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/files.h"

namespace db {
namespace {

Status busyAsInUse(const Status& s) {
  const int primary = s.number() & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? files::inUseStatus() : s;
}

// Copies every page of `from` into `to` in one step; SQLite's code and
// message of whichever side failed.
Status copyPages(sqlite3* from, sqlite3* to) {
  sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
  if (!b) return Status::Error(sqlite3_extended_errcode(to), QString::fromUtf8(sqlite3_errmsg(to)));
  cpu::settleVectorUnit();
  const int rc = sqlite3_backup_step(b, -1);
  sqlite3_backup_finish(b);
  if (rc == SQLITE_DONE) return Status::Ok();
  return Status::Error(rc, QString::fromUtf8(sqlite3_errstr(rc)));
}

// Removes a file of ours and whatever SQLite left beside it.
void removeWithSidecars(const QByteArray& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) ::unlink((path + suffix).constData());
}

}  // namespace

Status replaceThroughSqlite(const QByteArray& database, const QByteArray& source, const QByteArray& kept) {
  struct stat dbSt, keptSt;
  if (::stat(database.constData(), &dbSt) != 0) return posix::errnoStatus(errno);
  if (!kept.isEmpty() && ::lstat(kept.constData(), &keptSt) == 0) return posix::errnoStatus(EEXIST);

  RawConnection db;
  if (Status s = db.open(database, SQLITE_OPEN_READWRITE); !s.ok()) return s;
  // Set before the first read, the exclusive mode keeps the WAL index in
  // this connection's memory and the file locked for as long as it is open:
  // it is had only when no other connection has the database open at all.
  if (Status s = db.run("PRAGMA locking_mode=EXCLUSIVE"); !s.ok()) return s;
  if (Status s = db.run("BEGIN EXCLUSIVE"); !s.ok()) return busyAsInUse(s);
  if (Status s = db.run("COMMIT"); !s.ok()) return s;

  if (!kept.isEmpty()) {
    RawConnection copy;
    Status s = copy.open(kept, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (s.ok()) s = copyPages(db.handle(), copy.handle());
    if (s.ok()) s = copy.close();
    if (s.ok() && (::chmod(kept.constData(), dbSt.st_mode & 07777) != 0)) s = posix::errnoStatus(errno);
    if (s.ok() && (dbSt.st_uid != ::geteuid() || dbSt.st_gid != ::getegid()))
      if (::chown(kept.constData(), dbSt.st_uid, dbSt.st_gid) != 0) { /* not ours to give away */
      }
    if (s.ok()) s = files::syncFileAndFolder(QString::fromLocal8Bit(kept));
    if (!s.ok()) {
      copy.close();
      removeWithSidecars(kept);
      return s;
    }
  }

  // The backup is read as the file alone: nothing beside it is made or played.
  RawConnection from;
  if (Status s = from.open(fileUri(source, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI); !s.ok()) return s;
  Status s = copyPages(from.handle(), db.handle());
  if (s.ok()) s = db.run("PRAGMA wal_checkpoint(TRUNCATE)");
  if (!s.ok() && !kept.isEmpty()) removeWithSidecars(kept);
  return s;
}

Status copyThroughSqlite(const QByteArray& source, const QByteArray& destination) {
  struct stat srcSt;
  if (::stat(source.constData(), &srcSt) != 0) return posix::errnoStatus(errno);
  if (!S_ISREG(srcSt.st_mode)) return posix::errnoStatus(EINVAL);
  const int slash = destination.lastIndexOf('/');
  const QByteArray temp = destination.left(slash + 1) + '.' + destination.mid(slash + 1) + ".kvcopy";
  removeWithSidecars(temp);
  RawConnection from, to;
  Status s = from.open(source, SQLITE_OPEN_READONLY);
  if (s.ok()) s = to.open(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (s.ok()) s = busyAsInUse(copyPages(from.handle(), to.handle()));
  if (s.ok()) s = to.close();
  if (s.ok() && ::chmod(temp.constData(), srcSt.st_mode & 0777) != 0) s = posix::errnoStatus(errno);
  if (s.ok() && (srcSt.st_uid != ::geteuid() || srcSt.st_gid != ::getegid()))
    if (::chown(temp.constData(), srcSt.st_uid, srcSt.st_gid) != 0) { /* not ours to give away */
    }
  if (s.ok()) s = files::syncFileAndFolder(QString::fromLocal8Bit(temp));
  if (s.ok() && ::rename(temp.constData(), destination.constData()) != 0) s = posix::errnoStatus(errno);
  if (s.ok()) return files::syncFileAndFolder(QString::fromLocal8Bit(destination));
  to.close();
  removeWithSidecars(temp);
  return s;
}

}  // namespace db
