// Module PurgeDB: backup and compaction of the database file.
#include "purge/purge_db_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "data/files_.h"
#include "data/msgbox_.h"
#include "platform/compaction_engine.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"

namespace {

const QString kBackupHeader =
    QStringLiteral("Please close the 'Kestrova.mdb' database file and all the programs that might use it...");

// The program's one compaction engine, created on first use.
CompactionEngine& compactionEngine() {
  static std::unique_ptr<CompactionEngine> engine;
  if (!engine) engine = std::make_unique<CompactionEngine>();
  return *engine;
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

bool BackupExists(const QString& backupPath) { return FileExists(backupPath); }

bool BackupDB(const QString& dbPath, const QString& backupPath, QString& errDesc, int32_t& errNum) {
  bool result = false;
  const auto trapped = trapErrors([&] {
    if (LoadPleaseWait())
      if (frmPleaseWait* wait = PleaseWait()) wait->DisplayMsg_BackUp_File(backupFileCaption());
    result = CopyFile(dbPath, backupPath, errDesc, errNum);
    if (!result && errNum == ENOENT && !FileExists(dbPath)) errDesc = missingDatabaseText(dbPath);
    if (!result) ShowProcessFailed(errDesc, kBackupHeader, QString());
  });
  if (trapped) ShowProcessFailed(trapped->description, kBackupHeader, QString());
  return result;
}

bool CompactDB(const QString& dbPath, QString& errDesc, int32_t& errNum) {
  const QString tempPath = compactionTempPathFor(dbPath);
  bool result = false;
  const auto trapped = trapErrors([&] {
    if (!DeleteFile(tempPath, true)) return;
    // Other programs' writes wait from before the engine reads the database
    // until the compacted copy has replaced it, so none is lost in between.
    CompactionEngine::SourceLock writeLock;
    compactionEngine().lockSource(dbPath, writeLock).throwIfError();
    compactionEngine().CompactDatabase(dbPath, tempPath).throwIfError();
    result = CopyFile(tempPath, dbPath, errDesc, errNum);
    writeLock.release();
    if (result) DeleteFile(tempPath, false);
  });
  if (trapped) {
    errNum = trapped->number;
    errDesc = trapped->description;
  }
  return result;
}
