// Restoring a backup in place of the database: under the run lock, refusals
// first, then the database's write lock, under which the current database is
// kept and the backup's copy put in its place.
#include "purge/backup_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include <sqlite3.h>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/core/paths.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/db_replace.h"
#include "platform/filesafety/files.h"
#include "platform/filesafety/run_lock.h"

namespace backups {

namespace {

Status inUse() { return Status::Error(EBUSY, QString::fromLatin1(files::kInUseText)); }

RestoreResult& refuse(RestoreResult& result, Outcome outcome, Status status) {
  result.outcome = outcome;
  result.status = std::move(status);
  return result;
}

// A copy's failure as an outcome: another writer is a refusal, the rest a failure.
Outcome outcomeOf(const Status& status) { return status.number() == EBUSY ? Outcome::InUse : Outcome::Failed; }

// True when a file or a link (even a dangling one) is at `path`.
bool taken(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

// The kept copy's name in `folder` for `now`, or the next second's that is
// free: a kept copy never overwrites a file.
QString freeKeptPath(const QString& folder, const QDateTime& now) {
  QDateTime when = now;
  while (taken(folder + keptName(when))) when = when.addSecs(1);
  return folder + keptName(when);
}

// Size and modification time of `path`; a commit moves at least one of them.
bool sameFileState(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The day `which` names: DDMMYYYY or YYYY-MM-DD. Nullopt when it is neither
// form (a file path then); an invalid date when it has a form but no real date.
std::optional<QDate> dayOf(const QString& which) {
  static const QRegularExpression kDigits(QStringLiteral("^[0-9]{8}\\z"));
  static const QRegularExpression kIso(QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})\\z"));
  if (kDigits.match(which).hasMatch()) return dateOfName(QStringLiteral("kvbackup") + which + QStringLiteral(".mdb"));
  const QRegularExpressionMatch m = kIso.match(which);
  if (m.hasMatch()) return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
  return std::nullopt;
}

// Why the explicit backup file `path` cannot be restored over the database
// `database`; Restored (nothing against it) otherwise.
Outcome checkExplicit(const QString& path, const QString& database, Status& why) {
  struct stat st, dbSt;
  const QByteArray native = QFile::encodeName(path);
  if (::stat(native.constData(), &st) != 0) {
    const int err = errno;
    why = Status::Error(err, QString::fromLocal8Bit(std::strerror(err)) + QStringLiteral(": ") + path);
    return Outcome::NotDatabase;
  }
  if (!S_ISREG(st.st_mode)) {
    why = Status::Error(SQLITE_NOTADB, path + QStringLiteral(": not a regular file"));
    return Outcome::NotDatabase;
  }
  if (::stat(QFile::encodeName(database).constData(), &dbSt) == 0 && st.st_dev == dbSt.st_dev &&
      st.st_ino == dbSt.st_ino) {
    why = Status::Error(EINVAL, QStringLiteral("The backup is the database itself: ") + path);
    return Outcome::BadArgument;
  }
  // A link given on purpose is followed; the file it names must be a copy of
  // the shop's database.
  char real[PATH_MAX];
  QString reason;
  if (!::realpath(native.constData(), real) ||
      standingOf(QFile::decodeName(real), database, &reason) != Standing::Valid) {
    if (reason.isEmpty()) reason = QString::fromLocal8Bit(std::strerror(errno));
    why = Status::Error(SQLITE_NOTADB, path + QStringLiteral(": ") + reason);
    return Outcome::NotDatabase;
  }
  return Outcome::Restored;
}

}  // namespace

QString keptName(const QDateTime& when) {
  return QStringLiteral("kvbeforerestore") + when.toString(QStringLiteral("yyyyMMddhhmmss")) + QStringLiteral(".mdb");
}

namespace {

// Refuses (into `result`, returning true) a backup the day's name gives
// that is no real backup: a link planted there, the database under a second
// name, another database.
bool refusedNamed(RestoreResult& result) {
  QString why;
  switch (standingOf(result.backup, result.database, &why)) {
    case Standing::Valid:
      return false;
    case Standing::Absent:
      refuse(result, Outcome::NotDatabase,
             Status::Error(ENOENT, QStringLiteral("No such file or directory: ") + result.backup));
      return true;
    case Standing::Foreign:
      refuse(result, Outcome::NotDatabase,
             Status::Error(SQLITE_NOTADB, result.backup + QStringLiteral(" is no backup of the database: ") + why));
      return true;
  }
  return false;
}

// Refuses (into `result`, returning true) when either file has a writer or
// the backup fails the full check. The lock and the copies check the
// writers again at their moment; this is the cheap refusal up front.
bool refusedAtOnce(RestoreResult& result) {
  for (const QString& path : {result.database, result.backup}) {
    if (Status s = files::writerStatus(path); !s.ok()) {
      refuse(result, Outcome::InUse, s);
      return true;
    }
  }
  const Check check = checkFile(result.backup, true);
  if (check.passed) return false;
  refuse(result, Outcome::NotDatabase,
         Status::Error(SQLITE_NOTADB, result.backup + QStringLiteral(": ") + check.verdict));
  return true;
}

RestoreResult& restored(RestoreResult& result) {
  result.outcome = Outcome::Restored;
  result.status = Status::Ok();
  return result;
}

// A database in WAL mode is never replaced by another file: a program that
// opened the old one would go on writing frames into the WAL the new one
// reads. SQLite writes the backup's pages into it instead, the kept copy
// taken first under the same exclusive lock.
RestoreResult& restoreThroughSqlite(RestoreResult& result, const QString& kept) {
  const Status replaced = db::replaceThroughSqlite(QFile::encodeName(result.database), QFile::encodeName(result.backup),
                                                   QFile::encodeName(kept));
  if (!replaced.ok()) return refuse(result, outcomeOf(replaced), replaced);
  result.kept = kept;
  return restored(result);
}

// The backup copied over the database under its write lock: writers wait
// until the copy has replaced the file, so every commit is either in the
// kept copy or lands in the new file after the lock goes.
RestoreResult& restoreByCopy(RestoreResult& result, const QString& keptPath) {
  Status locked;
  std::optional<db::DbFile::WriteLock> lock = db::DbFile(result.database).lockWrites(locked);
  if (!locked.ok()) return refuse(result, outcomeOf(locked), locked);

  // The current database is kept whole before anything replaces it. A
  // database that is not there (lost, the reason to restore) has nothing to keep.
  const QByteArray dbNative = QFile::encodeName(result.database);
  struct stat before = {};
  const bool dbPresent = ::stat(dbNative.constData(), &before) == 0;
  if (dbPresent) {
    const Status kept = files::copyFile(result.database, keptPath);
    if (!kept.ok()) return refuse(result, outcomeOf(kept), kept);
    result.kept = keptPath;
  }
  auto dropKept = [&result] {
    if (!result.kept.isEmpty()) files::removeFile(result.kept);
    result.kept.clear();
  };

  // A file with nothing to lock (no SQLite database, or one we may only
  // read) is only compared: a change since the kept copy was read refuses.
  struct stat atReplace = {};
  if (dbPresent && !lock && (::stat(dbNative.constData(), &atReplace) != 0 || !sameFileState(before, atReplace))) {
    dropKept();
    return refuse(result, Outcome::InUse, inUse());
  }

  const Status copied = files::copyFile(result.backup, result.database);
  lock.reset();
  if (!copied.ok()) {
    dropKept();
    return refuse(result, outcomeOf(copied), copied);
  }
  return restored(result);
}

}  // namespace

// Under the run lock: the refusals, then either SQLite's route for a WAL
// database or the copy route under the database's write lock, where a file
// with nothing to lock is only compared before it is replaced.
RestoreResult restore(const QString& dbPath, const QString& which, const QDateTime& now) {
  RestoreResult result;
  const QFileInfo dbInfo(paths::resolve(dbPath));
  result.database = dbInfo.absoluteFilePath();
  const QString folder = dbInfo.absolutePath() + QLatin1Char('/');

  const std::optional<QDate> day = dayOf(which);
  if (day && !day->isValid())
    return refuse(result, Outcome::BadArgument, Status::Error(EINVAL, QStringLiteral("Not a date: ") + which));
  result.backup = day ? folder + nameForDate(*day) : QFileInfo(paths::resolve(which)).absoluteFilePath();

  // One purge, restore or retention of this database at a time, from here to the end.
  runlock::RunLock runLock;
  if (Status s = runLock.acquire(result.database); !s.ok()) return refuse(result, Outcome::InUse, s);

  if (day) {
    if (refusedNamed(result)) return result;
  } else {
    Status why;
    if (const Outcome o = checkExplicit(result.backup, result.database, why); o != Outcome::Restored)
      return refuse(result, o, why);
  }
  if (refusedAtOnce(result)) return result;
  if (db::DbFile(result.database).journalMode() == db::DbFile::JournalMode::Wal)
    return restoreThroughSqlite(result, freeKeptPath(folder, now));
  return restoreByCopy(result, freeKeptPath(folder, now));
}

}  // namespace backups
