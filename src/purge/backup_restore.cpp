// Restoring a backup in place of the database: refusals first, then a kept
// copy of the current database, then the backup's copy under the write lock.
#include "purge/backup_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <utility>

#include <sqlite3.h>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/db_file.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace backups {

namespace {

Status inUse() {
  return Status::Error(EBUSY, QString::fromLatin1(files::kInUseText));
}

RestoreResult& refuse(RestoreResult& result, Outcome outcome, Status status) {
  result.outcome = outcome;
  result.status = std::move(status);
  return result;
}

// A copy's failure as an outcome: another writer is a refusal, the rest a failure.
Outcome outcomeOf(const Status& status) {
  return status.number() == EBUSY ? Outcome::InUse : Outcome::Failed;
}

// True when a file or a link (even a dangling one) is at `path`.
bool taken(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

// Size and modification time of `path`; a commit moves at least one of them.
bool sameFileState(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

QString keptName(const QDateTime& when) {
  return QStringLiteral("kvbeforerestore") + when.toString(QStringLiteral("yyyyMMddhhmmss")) +
         QStringLiteral(".mdb");
}

RestoreResult restore(const QString& dbPath, const QString& which, const QDateTime& now) {
  RestoreResult result;
  const QFileInfo dbInfo(paths::resolve(dbPath));
  result.database = dbInfo.absoluteFilePath();
  const QString folder = dbInfo.absolutePath() + QLatin1Char('/');

  static const QRegularExpression kDigits(QStringLiteral("^[0-9]{8}$"));
  if (kDigits.match(which).hasMatch()) {
    const QDate date = dateOfName(QStringLiteral("kvbackup") + which + QStringLiteral(".mdb"));
    if (!date.isValid())
      return refuse(result, Outcome::BadArgument,
                    Status::Error(EINVAL, QStringLiteral("Not a date: ") + which));
    result.backup = folder + nameForDate(date);
  } else {
    result.backup = QFileInfo(paths::resolve(which)).absoluteFilePath();
  }

  const QFileInfo backupInfo(result.backup);
  if (!backupInfo.exists())
    return refuse(
        result, Outcome::NotDatabase,
        Status::Error(ENOENT, QStringLiteral("No such file or directory: ") + result.backup));
  if (backupInfo.canonicalFilePath() == dbInfo.canonicalFilePath())
    return refuse(result, Outcome::BadArgument,
                  Status::Error(EINVAL, QStringLiteral("The backup is the database itself: ") +
                                            result.backup));

  // Cheap refusals first; the copies check the same again at their moment.
  if (files::isInUse(result.database) || files::hasLiveSidecar(result.database) ||
      files::isInUse(result.backup) || files::hasLiveSidecar(result.backup))
    return refuse(result, Outcome::InUse, inUse());

  const Check check = checkFile(result.backup, true);
  if (!check.passed)
    return refuse(
        result, Outcome::NotDatabase,
        Status::Error(SQLITE_NOTADB, result.backup + QStringLiteral(": ") + check.verdict));

  // The current database is kept whole before anything replaces it. A
  // database that is not there (lost, the reason to restore) has nothing to keep.
  const QByteArray dbNative = QFile::encodeName(result.database);
  struct stat before = {};
  const bool dbPresent = ::stat(dbNative.constData(), &before) == 0;
  if (dbPresent) {
    QDateTime when = now;
    while (taken(folder + keptName(when))) when = when.addSecs(1);
    const Status kept = files::copyFile(result.database, folder + keptName(when));
    if (!kept.ok()) return refuse(result, outcomeOf(kept), kept);
    result.kept = folder + keptName(when);
  }
  auto dropKept = [&result] {
    if (!result.kept.isEmpty()) files::removeFile(result.kept);
    result.kept.clear();
  };

  // Writers wait from here until the backup's copy has replaced the file,
  // so none writes into the file that is about to go.
  Status locked;
  std::optional<db::DbFile::WriteLock> lock = db::DbFile(result.database).lockWrites(locked);
  if (!locked.ok()) {
    dropKept();
    return refuse(result, outcomeOf(locked), locked);
  }
  // A writer with short connections may have committed after the kept copy
  // was read; that commit would be in neither file afterwards.
  struct stat atLock = {};
  if (dbPresent && (::stat(dbNative.constData(), &atLock) != 0 || !sameFileState(before, atLock))) {
    lock.reset();
    dropKept();
    return refuse(result, Outcome::InUse, inUse());
  }

  const Status copied = files::copyFile(result.backup, result.database);
  lock.reset();
  if (!copied.ok()) {
    dropKept();
    return refuse(result, outcomeOf(copied), copied);
  }
  result.outcome = Outcome::Restored;
  result.status = Status::Ok();
  return result;
}

}  // namespace backups
