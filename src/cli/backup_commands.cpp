// The command line's backup commands over the backup store.
#include "cli/backup_commands.h"

#include <algorithm>
#include <cerrno>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include "cli/archive_commands.h"
#include "platform/core/clock.h"
#include "platform/core/paths.h"
#include "platform/filesafety/run_lock.h"
#include "purge/backup_store.h"

namespace cli {

namespace {

void writeJson(QTextStream& out, const QJsonObject& object) {
  out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
  out.flush();
}

bool beforeRestore(const backups::Entry& entry) { return entry.kind == backups::Kind::BeforeRestore; }

QJsonObject entryJson(const backups::Entry& entry) {
  QJsonObject o{
      {QStringLiteral("date"), entry.date.toString(Qt::ISODate)},
      {QStringLiteral("path"), entry.path},
      {QStringLiteral("size"), entry.size},
      {QStringLiteral("kind"), beforeRestore(entry) ? QStringLiteral("before restore") : QStringLiteral("backup")}};
  if (beforeRestore(entry)) o.insert(QStringLiteral("time"), entry.time.toString(Qt::ISODate));
  if (entry.checked) {
    o.insert(QStringLiteral("ok"), entry.check.passed);
    o.insert(QStringLiteral("check"), entry.check.verdict);
  }
  return o;
}

// The database's path as the file system sees it, for the operator.
QString shownPath(const QString& dbPath) { return QFileInfo(paths::resolve(dbPath)).absoluteFilePath(); }

int missingFolder(const QString& dbPath, QTextStream& err) {
  err << "No such file or directory: " << shownPath(dbPath) << '\n';
  err.flush();
  return kExitNoDatabase;
}

int exitOf(backups::Outcome outcome) {
  switch (outcome) {
    case backups::Outcome::Restored:
      return kExitSuccess;
    case backups::Outcome::BadArgument:
      return kExitUsage;
    case backups::Outcome::InUse:
      return kExitInUse;
    case backups::Outcome::NotDatabase:
      return kExitNoDatabase;
    case backups::Outcome::Failed:
      break;
  }
  return kExitFailed;
}

}  // namespace

int listBackupsCommand(const QString& dbPath, bool verify, bool json, QTextStream& out, QTextStream& err,
                       const QString& archivePath) {
  QList<backups::Entry> entries;
  const Status listed = backups::list(dbPath, verify ? backups::CheckMode::Full : backups::CheckMode::Quick, entries);
  if (!listed.ok()) return missingFolder(dbPath, err);
  const QString checkName = verify ? QStringLiteral("integrity_check") : QStringLiteral("quick_check");
  bool allPassed = true;
  for (const backups::Entry& e : entries) allPassed = allPassed && e.check.passed;
  QJsonValue archiveJson;
  QString archiveText;
  if (!archivePath.isEmpty() && !listArchive(archivePath, verify, archiveJson, archiveText)) allPassed = false;

  if (json) {
    QJsonArray list;
    for (const backups::Entry& e : entries) list.append(entryJson(e));
    writeJson(out, {{QStringLiteral("database"), shownPath(dbPath)},
                    {QStringLiteral("checkedWith"), checkName},
                    {QStringLiteral("backups"), list},
                    {QStringLiteral("archive"), archiveJson}});
  } else if (entries.isEmpty()) {
    out << "No backups beside " << shownPath(dbPath) << ".\n";
  } else {
    out << "Backups of " << shownPath(dbPath) << ", newest first (" << checkName << "):\n";
    // Columns: date, size as people read it, the check's verdict, the file.
    qsizetype verdictWidth = 0;
    for (const backups::Entry& e : entries) verdictWidth = std::max(verdictWidth, e.check.verdict.size());
    for (const backups::Entry& e : entries)
      out << e.date.toString(Qt::ISODate) << "  "
          << QLocale::c().formattedDataSize(e.size, 1, QLocale::DataSizeSIFormat).rightJustified(9) << "  "
          << e.check.verdict.leftJustified(verdictWidth) << "  " << e.path
          << (beforeRestore(e) ? "  (before restore)" : "") << '\n';
  }
  if (!json && !archiveText.isEmpty()) out << archiveText << '\n';
  out.flush();
  return allPassed ? kExitSuccess : kExitFailed;
}

int restoreCommand(const QString& dbPath, const QString& which, bool json, QTextStream& out, QTextStream& err) {
  const backups::RestoreResult r = backups::restore(dbPath, which, sysclock::now());
  const bool restored = r.outcome == backups::Outcome::Restored;
  if (json) {
    QJsonObject o{{QStringLiteral("restored"), restored},
                  {QStringLiteral("database"), r.database},
                  {QStringLiteral("backup"), r.backup}};
    if (!r.kept.isEmpty()) o.insert(QStringLiteral("kept"), r.kept);
    if (!restored) o.insert(QStringLiteral("error"), r.status.description());
    writeJson(out, o);
  } else if (restored) {
    out << "Restored " << r.database << " from " << r.backup << ".\n";
    if (r.kept.isEmpty())
      out << "There was no database to keep before the restore.\n";
    else
      out << "The database as it was before the restore is kept as " << r.kept << ".\n";
    out.flush();
  }
  if (!restored) {
    err << (r.outcome == backups::Outcome::Failed ? "Restore failed, the database is unchanged: "
                                                  : "Restore refused, nothing changed: ")
        << r.status.description();
    if (r.outcome == backups::Outcome::InUse) err << " (" << r.database << ')';
    err << '\n';
    err.flush();
  }
  return exitOf(r.outcome);
}

int keepBackupsCommand(const QString& dbPath, int keep, const QDate& today, bool dryRun, QJsonObject* json,
                       QTextStream& out, QTextStream& err, bool todayCounts, bool runLockHeld) {
  if (keep < 1) {
    err << "--keep-backups needs a number of backups of 1 or more\n";
    err.flush();
    return kExitUsage;
  }
  // Outside a purge, retention is a run of its own. (Within one, the purge
  // holds the lock; a second flock of this process would refuse it.)
  runlock::RunLock runLock;
  if (!dryRun && !runLockHeld) {
    if (const Status s = runLock.acquire(dbPath); !s.ok()) {
      err << "No backup removed: " << s.description() << " (" << shownPath(dbPath) << ")\n";
      err.flush();
      if (json)
        *json = QJsonObject{{QStringLiteral("keep"), keep},
                            {QStringLiteral("dryRun"), dryRun},
                            {QStringLiteral("removed"), QJsonArray()},
                            {QStringLiteral("failed"), QJsonArray()},
                            {QStringLiteral("error"), s.description()}};
      return kExitInUse;
    }
  }
  QList<backups::Removal> removals;
  const Status kept = backups::keepNewest(dbPath, keep, today, dryRun, removals, todayCounts);
  if (!kept.ok() && kept.number() == ENOENT && removals.isEmpty()) return missingFolder(dbPath, err);

  QJsonArray done, failed;
  for (const backups::Removal& r : removals) {
    if (r.status.ok()) {
      done.append(entryJson(r.backup));
      if (!json) out << (dryRun ? "Would remove " : "Removed ") << r.backup.path << '\n';
    } else {
      failed.append(
          QJsonObject{{QStringLiteral("path"), r.backup.path}, {QStringLiteral("error"), r.status.description()}});
      err << "Could not remove " << r.backup.path << ": " << r.status.description() << '\n';
    }
  }
  if (json) {
    *json = QJsonObject{{QStringLiteral("keep"), keep},
                        {QStringLiteral("dryRun"), dryRun},
                        {dryRun ? QStringLiteral("wouldRemove") : QStringLiteral("removed"), done},
                        {QStringLiteral("failed"), failed}};
  } else if (removals.isEmpty()) {
    out << "No backup beyond the newest " << keep << " to remove.\n";
  }
  out.flush();
  err.flush();
  return failed.isEmpty() ? kExitSuccess : kExitFailed;
}

}  // namespace cli
