// Recovery and integrity check of a database file over the SQLite C API.
#include "platform/filesafety/db_health.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <QFile>
#include <QFileInfo>

#include "platform/core/paths.h"
#include "platform/core/posix_io.h"
#include "platform/filesafety/files.h"
#include "platform/filesafety/integrity_parts.h"
#include "platform/filesafety/sqlite_handle.h"

namespace db {
namespace {

// Opens the database at `path` on `c`: read-only for a file without any
// write permission bit, as the purge's own connections.
Status openDatabase(db::RawConnection& c, const QString& path) {
  const int flags = files::isReadOnly(path) ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  return c.open(QFile::encodeName(paths::resolve(path)), flags);
}

// A private folder beside the database for the trial recovery, removed
// with everything in it when the object goes.
class TrialFolder {
 public:
  explicit TrialFolder(const QByteArray& beside) {
    QByteArray name = beside + "/.kvrecover-XXXXXX";
    if (::mkdtemp(name.data())) m_path = name;
  }
  ~TrialFolder() {
    if (m_path.isEmpty()) return;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) ::unlink((file() + suffix).constData());
    ::rmdir(m_path.constData());
  }
  bool made() const { return !m_path.isEmpty(); }
  QByteArray file() const { return m_path + "/trial.mdb"; }

 private:
  QByteArray m_path;
};

// Copies `from` to the new file `to` with the kernel's copy; Ok when there
// is nothing at `from`.
Status copyIfThere(const QByteArray& from, const QByteArray& to) {
  posix::Fd in(::open(from.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!in.valid()) return errno == ENOENT ? Status::Ok() : posix::errnoStatus(errno);
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return posix::errnoStatus(errno);
  if (!S_ISREG(st.st_mode)) return posix::errnoStatus(EINVAL);
  posix::Fd out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!out.valid()) return posix::errnoStatus(errno);
  if (const int err = files::kernelCopy(in.get(), out.get())) return posix::errnoStatus(err);
  return Status::Ok();
}

// SQLite plays back any journal or WAL it finds beside a database and
// cannot tell whose it is: one left from another file (a backup copied over
// the database by hand) would damage it. So the recovery is first played on
// a copy of the file and what is beside it, and the copy checked whole.
// Ok when the recovered copy passes the check; SQLITE_CORRUPT with a text
// for the operator when it does not; the errno or SQLite failure of making
// or reading the copy otherwise. The database and its folder are never
// changed, the trial folder is removed.
Status tryRecovery(const QByteArray& database) {
  TrialFolder trial(QFile::encodeName(QFileInfo(QFile::decodeName(database)).absolutePath()));
  if (!trial.made()) return posix::errnoStatus(errno);
  for (const char* suffix : {"", "-journal", "-wal"})
    if (Status s = copyIfThere(database + suffix, trial.file() + suffix); !s.ok()) return s;
  QStringList verdict;
  {
    db::RawConnection db;
    Status s = openDatabase(db, QFile::decodeName(trial.file()));
    if (s.ok()) s = db.run("PRAGMA schema_version");
    if (s.ok()) s = db.run("PRAGMA wal_checkpoint(TRUNCATE)");
    if (s.ok()) s = db.rows("PRAGMA integrity_check", verdict);
    if (!s.ok() && (s.number() & 0xff) != SQLITE_CORRUPT && (s.number() & 0xff) != SQLITE_NOTADB) return s;
  }
  if (verdict == QStringList{QStringLiteral("ok")}) return Status::Ok();
  return Status::Error(SQLITE_CORRUPT,
                       QStringLiteral("What an interrupted program left beside the database (its -journal or -wal "
                                      "file) would damage it if played back: it does not belong to this database. "
                                      "Nothing was changed; move that file away or restore a backup: ") +
                           QFile::decodeName(database));
}

}  // namespace

Status recoverLeftovers(const QString& path) {
  // Only a regular file: SQLite would wait on a FIFO for ever.
  struct stat st;
  if (::stat(QFile::encodeName(paths::resolve(path)).constData(), &st) != 0 || !S_ISREG(st.st_mode))
    return Status::Ok();
  if (!files::hasLiveSidecar(path) || files::isReadOnly(path)) return Status::Ok();
  // Where other accounts' programs cannot be seen, SQLite's own locks
  // decide: it plays back only a journal whose writer holds no lock.
  if (const Status use = files::useStatus(path); !use.ok() && !files::isUndecided(use)) return Status::Ok();
  char target[PATH_MAX];
  if (!::realpath(QFile::encodeName(paths::resolve(path)).constData(), target)) return posix::errnoStatus(errno);
  if (Status s = tryRecovery(QByteArray(target)); !s.ok()) return s;
  db::RawConnection db;
  if (Status s = openDatabase(db, path); !s.ok()) return s;
  // The first read rolls a hot journal back; the checkpoint folds a WAL in,
  // and closing the last connection removes it.
  if (Status s = db.run("PRAGMA schema_version"); !s.ok()) return s;
  return db.run("PRAGMA wal_checkpoint(TRUNCATE)");
}

Status checkTables(const QString& path, const QStringList& tables, QStringList& findings, int threads,
                   std::optional<DbFile::StateMark>* frozen) {
  findings.clear();
  if (frozen) frozen->reset();
  integrity::Target target{QFile::encodeName(paths::resolve(path)),
                           files::isReadOnly(path) ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr,
                           threads > 1};
  QList<integrity::Part> parts;
  {
    db::RawConnection db;
    if (Status s = db.open(target.nativePath, target.flags); !s.ok()) return s;
    QStringList present;
    if (Status s = db.rows("SELECT name FROM sqlite_schema WHERE type = 'table'", present); !s.ok()) return s;
    for (const QString& table : tables)
      if (present.contains(table, Qt::CaseInsensitive)) parts << integrity::tablePart(db, table);
  }
  // Where the write lock cannot be had for a moment (a writer holds it),
  // the tables are checked one after another on one connection.
  QList<QStringList> lines;
  bool lockMissing = false;
  auto mark = [&] {
    DbFile::StateMark m;
    if (frozen && DbFile(path).stateMark(m).ok()) *frozen = m;
  };
  Status s = integrity::runParts(target, parts, threads, lines, &lockMissing, mark);
  if (lockMissing) {
    if (frozen) frozen->reset();
    target.freeze = false;
    s = integrity::runParts(target, parts, 1, lines);
  }
  if (!s.ok()) return s;
  for (const QStringList& part : lines) findings << part;
  if (findings.size() > kMaxFindings) findings.erase(findings.begin() + kMaxFindings, findings.end());
  return Status::Ok();
}

}  // namespace db
