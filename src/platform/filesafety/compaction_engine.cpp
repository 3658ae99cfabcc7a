// The compaction engine over SQLite's VACUUM INTO.
#include "platform/filesafety/compaction_engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <sqlite3.h>

#include "platform/core/posix_io.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/files.h"
#include "platform/filesafety/integrity_parts.h"
#include "platform/filesafety/journal_redirect.h"

namespace {

using db::DbFile;
using db::RawConnection;
using posix::errnoStatus;

// How many rows each table of the database open on `c` holds, a
// "name count" line each, by name.
Status countRows(RawConnection& c, QStringList& counts) {
  counts.clear();
  QStringList tables;
  if (Status s = c.rows("SELECT quote(name) FROM sqlite_schema WHERE type = 'table' ORDER BY name", tables); !s.ok())
    return s;
  for (const QString& table : tables) {
    // quote() gave 'name'; SQLite takes a quoted name where an identifier goes.
    QString n;
    if (Status s = c.run(("SELECT count(*) FROM " + table.toUtf8()).constData(), nullptr, &n); !s.ok()) return s;
    counts << table + QLatin1Char(' ') + n;
  }
  return Status::Ok();
}

// Compacts `src` into `dst`; `journalMode` gets the source's mode ("wal",
// "delete", ...), which VACUUM INTO does not carry over. A WAL with frames
// in it is folded in first; an empty one is left alone, since under the
// run's write lock a checkpoint would only wait for that lock. With
// `sourceCounts`, the source's rows are counted (countRows) just before the
// copy; left empty when they cannot be.
Status compact(const QByteArray& src, const QByteArray& dst, const char* vfs, bool walFrames, QString& journalMode,
               QStringList* sourceCounts) {
  RawConnection source;
  if (Status s = source.open(src, SQLITE_OPEN_READWRITE, vfs); !s.ok()) return s;
  // Reading the schema rolls a hot journal back; a WAL is folded in.
  if (Status s = source.run("PRAGMA schema_version"); !s.ok()) return s;
  if (Status s = source.run("PRAGMA journal_mode", nullptr, &journalMode); !s.ok()) return s;
  if (walFrames)
    if (Status s = source.run("PRAGMA wal_checkpoint(TRUNCATE)"); !s.ok()) return s;
  // Counted just before the copy is read, under the caller's write lock.
  if (sourceCounts && !countRows(source, *sourceCounts).ok()) sourceCounts->clear();
  if (Status s = source.run("VACUUM INTO ?1", &dst); !s.ok()) return s;
  return source.close();
}

// The whole file's check at `target`, split over the processors we may use;
// SQLITE_CORRUPT with its lines when the file is not whole. With
// `sourceCounts`, the copy of a source whose `verified` tables were checked:
// their indexes are not compared with their rows again, and every table
// must hold the source's number of rows.
Status checkWhole(const integrity::Target& target, const QStringList& verified = {},
                  const QStringList& sourceCounts = {}) {
  QStringList findings;
  // The full check, not quick_check alone: only it compares every index
  // entry with its row (measured at 1 GB in bench/README.md).
  if (Status s = integrity::checkWhole(target, integrity::availableCores(), findings, verified); !s.ok()) return s;
  if (findings.isEmpty() && !verified.isEmpty()) {
    RawConnection copy;
    QStringList counts;
    Status s = copy.open(target.nativePath, target.flags, target.vfs);
    if (s.ok()) s = countRows(copy, counts);
    if (!s.ok()) return s;
    for (const QString& line : counts)
      if (!sourceCounts.contains(line)) findings << QStringLiteral("rows differ from the source: ") + line;
    if (counts.size() != sourceCounts.size()) findings << QStringLiteral("tables differ from the source");
  }
  if (!findings.isEmpty())
    return Status::Error(
        SQLITE_CORRUPT, QStringLiteral("The compacted database failed its check: ") + findings.join(QLatin1Char('\n')));
  return Status::Ok();
}

// Gives the checked copy `dst` the source's WAL mode; its WAL and shared
// memory files go again when the connection closes.
Status keepWal(const QByteArray& dst, const char* vfs) {
  RawConnection copy;
  if (Status s = copy.open(dst, SQLITE_OPEN_READWRITE, vfs); !s.ok()) return s;
  QString mode;
  if (Status s = copy.run("PRAGMA journal_mode=WAL", nullptr, &mode); !s.ok()) return s;
  if (mode != QLatin1String("wal"))
    return Status::Error(SQLITE_ERROR, QStringLiteral("The compacted database kept journal mode ") + mode);
  return copy.close();
}

}  // namespace

Status CompactionEngine::CompactDatabase(const QString& source, const QString& destination,
                                         const QStringList& verifiedTables) {
  const DbFile srcFile(source);
  const DbFile dstFile(destination);
  const QByteArray& src = srcFile.nativePath();
  const QByteArray& dst = dstFile.nativePath();

  struct stat st;
  if (::lstat(dst.constData(), &st) == 0) return errnoStatus(EEXIST);
  if (::stat(src.constData(), &st) != 0) return errnoStatus(errno);
  if (S_ISDIR(st.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(st.st_mode)) return errnoStatus(EINVAL);
  if (::access(src.constData(), R_OK) != 0) return errnoStatus(errno);
  if (Status s = srcFile.useStatus(); !s.ok()) return s;
  // SQLite would take an empty file for an empty database and compact it
  // into one; anything that does not begin as a database file is refused.
  if (Status s = srcFile.checkHeader(); !s.ok()) return s;

  // A journal left beside the absent destination (by a compaction that was
  // killed) belongs to no database.
  struct stat journalSt;
  const QByteArray staleJournal = dst + "-journal";
  if (::lstat(staleJournal.constData(), &journalSt) == 0 && S_ISREG(journalSt.st_mode))
    ::unlink(staleJournal.constData());

  const QByteArray srcJournal = srcFile.journalName();
  const QByteArray dstJournal = dstFile.journalName();
  const db::JournalRedirect redirect(dstJournal != srcJournal ? dstJournal : QByteArray());
  const char* vfs = redirect.vfsName();
  QString journalMode;
  struct stat walSt;
  const bool walFrames =
      ::stat((srcFile.followed().nativePath() + "-wal").constData(), &walSt) == 0 && walSt.st_size > 0;
  QStringList sourceCounts;
  Status result = compact(src, dst, vfs, walFrames, journalMode, verifiedTables.isEmpty() ? nullptr : &sourceCounts);
  if (result.ok() && srcFile.hasLiveSidecar()) result = files::inUseStatus();
  if (result.ok()) result = files::syncFileAndFolder(dstFile.path());
  // Uncounted rows leave nothing to compare the copy with: checked whole.
  const QStringList verified = sourceCounts.isEmpty() ? QStringList() : verifiedTables;
  if (result.ok()) result = checkWhole({dst, SQLITE_OPEN_READONLY, vfs, false}, verified, sourceCounts);
  if (result.ok() && journalMode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
    result = keepWal(dst, vfs);
    if (result.ok()) result = files::syncFileAndFolder(dstFile.path());
  }
  if (!result.ok()) {
    // The destination did not exist before; whatever is there is ours.
    ::unlink(dst.constData());
  }
  return result;
}

Status CompactionEngine::CompactInPlace(const QString& path) {
  const DbFile file(path);
  RawConnection c;
  if (Status s = c.open(file.nativePath(), SQLITE_OPEN_READWRITE); !s.ok()) return s;
  if (Status s = c.run("VACUUM"); !s.ok()) {
    const int primary = s.number() & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? files::inUseStatus() : s;
  }
  // The file shrinks when the WAL is folded back; a reader in the WAL only
  // delays that to the next checkpoint of whoever writes next.
  c.run("PRAGMA wal_checkpoint(TRUNCATE)");
  if (Status s = c.close(); !s.ok()) return s;
  // Others may write again by now: the parts read one committed state.
  return checkWhole({file.nativePath(), SQLITE_OPEN_READWRITE, nullptr, true});
}
