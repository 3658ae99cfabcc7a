// Module PurgeDB: backup and compaction of the database file.
#include "purge/purge_db_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <QFile>

#include "data/files_.h"
#include "data/msgbox_.h"
#include "platform/liveness.h"
#include "platform/compaction_engine.h"
#include "platform/db_file.h"
#include "platform/db_health.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"

namespace {

const QString kBackupHeader =
    QStringLiteral("Please close the 'Kestrova.mdb' database file and all the programs that might use it...");

const QString kDamagedHeader =
    QStringLiteral("The database is damaged and was not purged. Restore it from a backup...");

// Every table the purges read, Setup for the shop's own contact.
const QStringList kCheckedTables = {QStringLiteral("Setup"),        QStringLiteral("Contacts"),
                                    QStringLiteral("InvoiceNumbers"), QStringLiteral("Payments"),
                                    QStringLiteral("Transactions"), QStringLiteral("Manifest")};

// The program's one compaction engine, created on first use and kept until
// the program ends.
CompactionEngine& compactionEngine() {
  static CompactionEngine engine;
  return engine;
}

// The folder part of a path written with either separator, separator kept.
QString folderOf(const QString& path) {
  const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
  return path.left(cut + 1);
}

}  // namespace

QString defaultDatabasePath() { return QStringLiteral("C:\\kestrova\\kestrova.mdb"); }

QString backupFileCaption() { return QStringLiteral("kestrova.mdb databse"); }

QString backupPathFor(const QString& dbPath, const QDate& day) {
  return folderOf(dbPath) + QStringLiteral("kvbackup") + day.toString(QStringLiteral("ddMMyyyy")) +
         QStringLiteral(".mdb");
}

QString compactionTempPathFor(const QString& dbPath) {
  if (dbPath == defaultDatabasePath()) return QStringLiteral("c:\\kestrova\\kvTemp.mdb");
  return folderOf(dbPath) + QStringLiteral("kvTemp.mdb");
}

QString missingDatabaseText(const QString& dbPath) {
  return QString::fromLocal8Bit(std::strerror(ENOENT)) + QStringLiteral(": ") + paths::resolve(dbPath);
}

bool BackupExists(const QString& backupPath) {
  return FileExists(backupPath) && files::beginsAsDatabase(backupPath);
}

bool BackupDB(const QString& dbPath, const QString& backupPath, QString& errDesc, int32_t& errNum) {
  bool result = false;
  const auto trapped = trapErrors([&] {
    if (LoadPleaseWait())
      if (frmPleaseWait* wait = PleaseWait()) wait->DisplayMsg_BackUp_File(backupFileCaption());
    // Whatever else has today's backup name (a link to another file, a
    // FIFO, a file that is no database) is the operator's to look at.
    struct stat st;
    const QByteArray target = QFile::encodeName(paths::resolve(backupPath));
    if (::lstat(target.constData(), &st) == 0 && !S_ISDIR(st.st_mode) && !BackupExists(backupPath)) {
      errNum = EEXIST;
      errDesc = backupPath + QStringLiteral(" is there but is no backup of the database.");
      ShowProcessFailed(errDesc, kBackupHeader, QString());
      return;
    }
    liveness::run([&] { return db_health::recover(dbPath); });  // a failed recovery leaves the journal the copy refuses
    result = CopyFile(dbPath, backupPath, errDesc, errNum);
    if (!result && errNum == ENOENT && !FileExists(dbPath)) errDesc = missingDatabaseText(dbPath);
    if (!result) ShowProcessFailed(errDesc, kBackupHeader, QString());
  });
  if (trapped) ShowProcessFailed(trapped->description, kBackupHeader, QString());
  return result;
}

bool CheckDB(const QString& dbPath) {
  QString finding;
  const auto trapped = trapErrors([&] {
    struct stat st;
    if (::stat(QFile::encodeName(paths::resolve(dbPath)).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
      finding = dbPath + QStringLiteral(" is not a file that holds a database.");
      return;
    }
    QStringList findings;
    if (liveness::run([&] { return db_health::check(dbPath, kCheckedTables, findings); }).ok()) finding = findings.join(QLatin1Char('\r'));
  });
  if (trapped) finding = trapped->description;
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
    // Other programs' writes wait from before the engine reads the database
    // until the compacted copy has replaced it, so none is lost in between.
    const db::DbFile database(dbPath);
    Status refusal;
    std::optional<db::DbFile::WriteLock> writeLock = liveness::run([&] { return database.lockWrites(refusal); });
    if (!refusal.ok()) return failWith(refusal);
    // No lock and no refusal: nothing SQLite lets us lock (a database in WAL
    // mode, one we may only read, no database at all). The compaction and
    // the replacement below take or refuse each of these themselves.
    const Status compacted = liveness::run([&] { return compactionEngine().CompactDatabase(dbPath, tempPath); });
    if (!compacted.ok()) return failWith(compacted);
    // The compacted file, flushed and checked, is renamed over the database
    // in its folder: whole or not at all, with no second full copy. Where a
    // rename cannot be whole (the database is a link into another folder
    // or file system) it is copied back as before.
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
