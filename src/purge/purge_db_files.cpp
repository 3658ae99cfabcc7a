// Backup and compaction of the database file.
#include "purge/purge_db_files.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <sqlite3.h>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "data/files_.h"
#include "data/msgbox_.h"
#include "platform/core/liveness.h"
#include "platform/core/paths.h"
#include "platform/core/runtime_error.h"
#include "platform/filesafety/compaction_engine.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/db_health.h"
#include "platform/filesafety/db_replace.h"
#include "platform/filesafety/files.h"
#include "purge/backup_store.h"
#include "purge/checked_state.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"

namespace {

const QString kBackupHeader =
    QStringLiteral("Please close the 'Kestrova.mdb' database file and all the programs that might use it...");

const QString kRoomHeader = QStringLiteral("There is not enough room for the purge. Nothing was changed...");

const QString kDamagedHeader =
    QStringLiteral("The database is damaged and was not purged. Restore it from a backup...");

// Every table the purges read, Setup for the shop's own contact.
const QStringList kCheckedTables = {QStringLiteral("Setup"),          QStringLiteral("Contacts"),
                                    QStringLiteral("InvoiceNumbers"), QStringLiteral("Payments"),
                                    QStringLiteral("Transactions"),   QStringLiteral("Manifest")};

// The program's one compaction engine, created on first use and kept until
// the program ends.
CompactionEngine& compactionEngine() {
  static CompactionEngine engine;
  return engine;
}

// The folder part of a path, separator kept.
QString folderOf(const QString& path) {
  // A backslash separates folders only in a drive path ("C:\\kestrova\\...").
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const qsizetype cut = paths::isDrivePath(path) ? std::max(path.lastIndexOf(QLatin1Char('\\')), slash) : slash;
  return path.left(cut + 1);
}

}  // namespace

QString defaultDatabasePath() { return QStringLiteral("C:\\kestrova\\kestrova.mdb"); }

QString backupFileCaption() { return QStringLiteral("kestrova.mdb databse"); }

QString backupPathFor(const QString& dbPath, const QDate& day) { return folderOf(dbPath) + backups::nameForDate(day); }

QString compactionTempPathFor(const QString& dbPath) {
  if (dbPath == defaultDatabasePath()) return QStringLiteral("c:\\kestrova\\kvTemp.mdb");
  return folderOf(dbPath) + QStringLiteral("kvTemp.mdb");
}

QString missingDatabaseText(const QString& dbPath) {
  return QString::fromLocal8Bit(std::strerror(ENOENT)) + QStringLiteral(": ") + paths::resolve(dbPath);
}

bool BackupExists(const QString& backupPath) {
  return FileExists(backupPath) && backups::standingOf(backupPath, QString()) == backups::Standing::Valid;
}

bool TodaysBackupFound(const QString& dbPath, const QString& backupPath) {
  return FileExists(backupPath) && backups::standingOf(backupPath, dbPath) == backups::Standing::Valid;
}

bool PrepareRun(const QString& dbPath, runlock::RunLock& lock, Status& refusal) {
  refusal = lock.acquire(dbPath);
  if (!refusal.ok()) {
    ShowProcessFailed(refusal.description(), kBackupHeader, QString());
    return false;
  }
  refusal = liveness::run([&] { return db::recoverLeftovers(dbPath); });
  if (refusal.ok()) return true;
  lock.release();
  ShowProcessFailed(refusal.description(), (refusal.number() & 0xff) == SQLITE_CORRUPT ? kDamagedHeader : kBackupHeader,
                    QString());
  return false;
}

bool CheckRoom(const QString& dbPath, bool backupNeeded, Status& refusal) {
  refusal = Status::Ok();
  const QByteArray native = QFile::encodeName(paths::resolve(dbPath));
  struct stat st;
  if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return true;  // the steps say what it is
  const QLocale locale;
  const qint64 size = st.st_size;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && qint64(limit.rlim_cur) < size) {
    refusal = Status::Error(EFBIG,
                            QStringLiteral("This program may write no file larger than %1 (a file-size limit), "
                                           "but the database is %2 and its copies are as large.")
                                .arg(locale.formattedDataSize(qint64(limit.rlim_cur)), locale.formattedDataSize(size)));
  } else {
    // Today's backup, and then the compacted copy (or, in WAL mode, the
    // WAL of the compaction in place); the deletes' journal has gone by then.
    const qint64 needed = (backupNeeded ? size : 0) + size;
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(native)).absolutePath());
    struct statvfs fs;
    if (::statvfs(folder.constData(), &fs) == 0 && qint64(fs.f_bavail) * qint64(fs.f_frsize) < needed)
      refusal = Status::Error(ENOSPC, QStringLiteral("The purge needs %1 of free space beside the database (%2), "
                                                     "but %3 are free.")
                                          .arg(locale.formattedDataSize(needed),
                                               backupNeeded ? QStringLiteral("today's backup and the compacted copy")
                                                            : QStringLiteral("the compacted copy"),
                                               locale.formattedDataSize(qint64(fs.f_bavail) * qint64(fs.f_frsize))));
  }
  if (refusal.ok()) return true;
  ShowProcessFailed(refusal.description(), kRoomHeader, QString());
  return false;
}

bool BackupDB(const QString& dbPath, const QString& backupPath, QString& errDesc, int32_t& errNum) {
  bool result = false;
  const auto trapped = trapErrors([&] {
    if (LoadPleaseWait())
      if (frmPleaseWait* wait = PleaseWait()) wait->DisplayMsg_BackUp_File(backupFileCaption());
    // Whatever else has today's backup name (a link, a hard link to the
    // database, a FIFO, a file that is no shop database) is the operator's
    // to look at.
    if (backups::standingOf(backupPath, dbPath) == backups::Standing::Foreign) {
      errNum = EEXIST;
      errDesc = backupPath + QStringLiteral(" is there but is no backup of the database.");
      ShowProcessFailed(errDesc, kBackupHeader, QString());
      return;
    }
    // A journal or WAL that would damage the database is said as such; any
    // other failed recovery leaves the journal the copy refuses.
    if (const Status recovered = liveness::run([&] { return db::recoverLeftovers(dbPath); });
        (recovered.number() & 0xff) == SQLITE_CORRUPT) {
      errNum = recovered.number();
      errDesc = recovered.description();
      ShowProcessFailed(errDesc, kBackupHeader, QString());
      return;
    }
    // A database of another account whose programs cannot be seen is read
    // through SQLite under its shared lock, so no commit of theirs is torn;
    // so is one in WAL mode, whose commits live in its -wal until a
    // checkpoint and whose readers never stop the shop's writers.
    if (db::DbFile(dbPath).journalMode() == db::DbFile::JournalMode::Wal ||
        files::isUndecided(files::useStatus(dbPath))) {
      const Status copied = liveness::run([&] {
        return db::copyThroughSqlite(db::DbFile(dbPath).nativePath(), db::DbFile(backupPath).followed().nativePath());
      });
      result = copied.ok();
      errNum = copied.number();
      errDesc = copied.description();
    } else {
      result = CopyFile(dbPath, backupPath, errDesc, errNum);
    }
    if (!result && errNum == ENOENT && !FileExists(dbPath)) errDesc = missingDatabaseText(dbPath);
    if (!result) ShowProcessFailed(errDesc, kBackupHeader, QString());
  });
  if (trapped) ShowProcessFailed(trapped->description, kBackupHeader, QString());
  return result;
}

bool CheckDB(const QString& dbPath) {
  QString finding;
  struct stat st;
  if (::stat(QFile::encodeName(paths::resolve(dbPath)).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
    finding = dbPath + QStringLiteral(" is not a file that holds a database.");
  } else {
    QStringList findings;
    std::optional<db::DbFile::StateMark> frozen;
    if (liveness::run([&] {
          return db::checkTables(dbPath, kCheckedTables, findings, integrity::availableCores(), &frozen);
        }).ok()) {
      finding = findings.join(QLatin1Char('\r'));
      // What the compaction may take as known about this state.
      // Only rollback-journal mode counts every commit in the file's header.
      if (finding.isEmpty() && frozen && CheckedStateScope::current() &&
          db::DbFile(dbPath).journalMode() == db::DbFile::JournalMode::Rollback)
        CheckedStateScope::current()->checked(*frozen, kCheckedTables);
    }
  }
  if (finding.isEmpty()) return true;
  ShowProcessFailed(finding, kDamagedHeader, QString());
  return false;
}

bool CompactDB(const QString& dbPath, QString& errDesc, int32_t& errNum) {
  const QString tempPath = compactionTempPathFor(dbPath);
  bool result = false;
  auto failWith = [&](const Status& failure) {
    errNum = failure.number();
    errDesc = failure.description();
  };
  const auto trapped = trapErrors([&] {
    if (!DeleteFile(tempPath, true)) return;
    const db::DbFile database(dbPath);
    // Other programs' writes wait from before the engine reads the database
    // until the compacted copy has replaced it, so none is lost in between.
    // A database in WAL mode is never replaced: a program that opened the
    // old file would go on writing frames into the WAL the new one reads.
    // Nor is one whose other users cannot be seen: one of them may have it
    // open. SQLite compacts those where they are, under its own locks.
    const bool wal = database.journalMode() == db::DbFile::JournalMode::Wal;
    Status refusal;
    std::optional<db::DbFile::WriteLock> writeLock;
    if (!wal) writeLock = liveness::run([&] { return database.lockWrites(refusal); });
    if (wal || files::isUndecided(refusal)) {
      const Status compacted = liveness::run([&] { return compactionEngine().CompactInPlace(dbPath); });
      if (!compacted.ok()) return failWith(compacted);
      result = true;
      return;
    }
    if (!refusal.ok()) return failWith(refusal);
    // No lock and no refusal: nothing SQLite lets us lock (one we may only
    // read, no database at all). The compaction and the replacement below
    // refuse each of these themselves.
    // Tables checked before the deletes, with no commit since but the run's
    // own, need not have their indexes compared with their rows again.
    QStringList verified;
    db::DbFile::StateMark now;
    if (writeLock && CheckedStateScope::current() && database.stateMark(now).ok())
      verified = CheckedStateScope::current()->unchangedSince(now);
    const Status compacted =
        liveness::run([&] { return compactionEngine().CompactDatabase(dbPath, tempPath, verified); });
    if (!compacted.ok()) return failWith(compacted);
    // The compacted file, flushed and checked, is renamed over the database
    // in its folder: whole or not at all, with no second full copy. Where a
    // rename cannot be whole (the database is a link into another folder
    // or file system) it is copied back over the database instead.
    const Status placed = liveness::run([&] { return files::replaceWith(tempPath, dbPath); });
    if (placed.ok()) {
      result = true;
    } else if (placed.number() == EXDEV) {
      result = CopyFile(tempPath, dbPath, errDesc, errNum);
    } else {
      failWith(placed);
    }
    // Letting go closes the lock's descriptor, the last one on the replaced
    // database: the kernel frees its blocks then, seconds for a large file.
    liveness::run([&] { writeLock.reset(); });
    // A copy back that ran out of space must not leave a whole copy of the
    // database on the full disk; a refused one keeps it for the next run's
    // leftover-file check, which also meets one that could not be removed.
    if ((result && placed.number() == EXDEV) || errNum == ENOSPC || errNum == EDQUOT || errNum == EFBIG)
      DeleteFile(tempPath, false);
  });
  if (trapped) {
    errNum = trapped->number;
    errDesc = trapped->description;
  }
  return result;
}
