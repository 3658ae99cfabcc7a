// The command line's purge and dry run.
#include "cli/cli_purge.h"

#include <sqlite3.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStorageInfo>

#include "cli/backup_commands.h"
#include "cli/cli_face.h"
#include "cli/exit_status.h"
#include "cli/run_summary.h"
#include "cli/stop_signals.h"
#include "data/files_.h"
#include "platform/core/db_engine.h"
#include "platform/core/paths.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/files.h"
#include "purge/purge_archive.h"
#include "purge/purge_db_files.h"

namespace cli {
namespace {

qint64 fileSize(const QString& dbPath) {
  const QFileInfo info(paths::resolve(dbPath));
  return info.exists() ? info.size() : -1;
}

// The exit status that tells `verdict`.
int exitStatusOf(RunVerdict verdict) {
  switch (verdict) {
    case RunVerdict::Success:
      return kExitSuccess;
    case RunVerdict::InUse:
      return kExitInUse;
    case RunVerdict::NoDatabase:
      return kExitNoDatabase;
    case RunVerdict::Failed:
      break;
  }
  return kExitFailed;
}

// Ends a run that did not get past its checks: the message on standard
// error, and with --json a summary holding it.
int refuse(const Request& request, int status, const QString& message) {
  writeErr(QStringLiteral("purge-database: ") + message);
  if (request.json) {
    QJsonObject o{{"dryRun", request.dryRun},
                  {"database", paths::resolve(request.dbPath)},
                  {"exitStatus", status},
                  {"error", message}};
    writeOut(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
  }
  return status;
}

// --keep-backups after a purge that finished (or, in a dry run, would run):
// removes, or only names, the backups beyond the newest N. With --json the
// result goes into `summary` under "keepBackups", else it follows the
// summary's lines. The purge's status, or 1 when a backup could not be
// removed.
int keepBackups(const Request& request, int status, QJsonObject* summary) {
  if (request.keepBackups < 1 || status != kExitSuccess) return status;
  QTextStream out(stdout), err(stderr);
  QJsonObject kept;
  // In a dry run today's backup is not there yet; the real run makes it
  // first, and it counts among the newest.
  const bool todayCounts =
      request.dryRun && !TodaysBackupFound(request.dbPath, backupPathFor(request.dbPath, request.today));
  const int keptStatus = keepBackupsCommand(request.dbPath, request.keepBackups, request.today, request.dryRun,
                                            summary ? &kept : nullptr, out, err, todayCounts);
  if (summary) summary->insert(QStringLiteral("keepBackups"), kept);
  return keptStatus == kExitSuccess ? status : kExitFailed;
}

// Writes the JSON summary `o` after --keep-backups has had its turn; the
// exit status it returns is the one the summary names.
int writeJsonSummary(const Request& request, int status, QJsonObject o) {
  const int final = keepBackups(request, status, &o);
  o.insert(QStringLiteral("exitStatus"), final);
  writeOut(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
  return final;
}

// Ends a run that a stop signal interrupted between two steps: what was
// done and what was not on standard error (and in the JSON summary), and
// the shell's status for death by that signal, 128 + its number.
int stopped(const Request& request, int signal, const CommandLineFace& face) {
  QStringList done;
  for (const StepFigures& s : face.steps) done << s.name + (s.ok ? QString() : QStringLiteral(" (failed)"));
  const int status = 128 + signal;
  writeErr(QStringLiteral("purge-database: stopped by %1 before the next step; done: %2; the steps after it were "
                          "not run, and the database is whole.")
               .arg(QLatin1String(signalName(signal)),
                    done.isEmpty() ? QStringLiteral("nothing") : done.join(QStringLiteral(", "))));
  if (request.json)
    writeOut(QString::fromUtf8(QJsonDocument(QJsonObject{{"dryRun", false},
                                                         {"success", false},
                                                         {"exitStatus", status},
                                                         {"stoppedBy", QLatin1String(signalName(signal))},
                                                         {"stepsDone", QJsonArray::fromStringList(done)}})
                                   .toJson(QJsonDocument::Compact)));
  return status;
}

// The dry run's word on the archive, judged as the real run would judge
// it; false (the cause on standard error) when the run would refuse it.
bool inspectArchive(const Request& request, DryRunSummary& summary) {
  summary.archive = paths::resolve(request.archive);
  bool present = false;
  const Status found = archive::inspect(request.dbPath, request.archive, present);
  summary.archiveState = !found.ok() ? found.description()
                         : present   ? QStringLiteral("ok")
                                     : QStringLiteral("would be made");
  if (!found.ok()) writeErr(QStringLiteral("purge-database: ") + found.description());
  return found.ok();
}

}  // namespace

std::vector<ShopTable> selectedTables(const PurgeSelection& s) {
  std::vector<ShopTable> tables;
  if (s.contacts) tables.push_back(ShopTable::Contacts);
  if (s.invoices)
    for (ShopTable t : {ShopTable::InvoiceNumbers, ShopTable::Payments, ShopTable::Transactions}) tables.push_back(t);
  if (s.shipments) tables.push_back(ShopTable::Manifest);
  return tables;
}

RunVerdict checkBeforeChanging(const QString& dbPath, bool sidecarInUse, QString& message) {
  const db::DbFile database(dbPath);
  const QString resolved = database.path();
  bool present = false;
  if (const Status search = files::lookUp(dbPath, present); !search.ok()) {
    message = search.description() + QStringLiteral(": ") + resolved;
    return RunVerdict::Failed;
  }
  if (!present) {
    message = QFileInfo(resolved).isDir() ? QStringLiteral("Is a directory, not a database: ") + resolved
                                          : missingDatabaseText(dbPath);
    return RunVerdict::NoDatabase;
  }
  if (const Status header = database.checkHeader(); !header.ok()) {
    message = header.description() + QStringLiteral(": ") + resolved;
    return header.number() == SQLITE_NOTADB ? RunVerdict::NoDatabase : RunVerdict::Failed;
  }
  // Where other accounts' programs cannot be seen, the run works through
  // SQLite's locks, and a program holding one makes it refuse then.
  // So does one in WAL mode, whose readers and writers SQLite's locks keep
  // apart and which the run backs up and compacts through SQLite.
  const Status use = database.useStatus();
  const bool throughSqlite = files::isUndecided(use) || database.journalMode() == db::DbFile::JournalMode::Wal;
  if ((!use.ok() && !throughSqlite) || (sidecarInUse && database.hasLiveSidecar())) {
    message = QString::fromUtf8(files::kInUseText) + QStringLiteral(": ") + resolved;
    return RunVerdict::InUse;
  }
  message.clear();
  return RunVerdict::Success;
}

int runPurge(const Request& request) {
  QString message;
  // A journal or WAL no live program holds is the run's to recover.
  if (const RunVerdict verdict = checkBeforeChanging(request.dbPath, false, message); verdict != RunVerdict::Success)
    return refuse(request, exitStatusOf(verdict), message);

  // Which of the two ways the run works is said: here no rename.
  if (files::isUndecided(db::DbFile(request.dbPath).useStatus()))
    writeErr(
        QStringLiteral("purge-database: the database belongs to another account, whose programs cannot be "
                       "seen: the backup is read and the compaction done through SQLite's own locks, and the "
                       "file is never replaced."));
  const qint64 sizeBefore = fileSize(request.dbPath);
  CommandLineFace face(request.dbPath, request.cutOff, request.quiet, !request.archive.isEmpty());
  QElapsedTimer total;
  total.start();
  watchStopSignals();
  PurgeOutcome outcome;
  try {
    outcome = runPurgeSequence(request.dbPath, request.cutOff.toString(Qt::ISODate), request.selection, request.today,
                               face, request.archive);
  } catch (const StopRequested& stop) {
    return stopped(request, stop.signal, face);
  }
  const double totalSeconds = double(total.nsecsElapsed()) / 1e9;
  const int status = exitStatusOf(outcome.verdict());
  PurgeSummary summary{outcome.success,
                       status,
                       paths::resolve(request.dbPath),
                       request.cutOff.toString(Qt::ISODate),
                       paths::resolve(outcome.backupPath),
                       request.archive.isEmpty() ? QString() : paths::resolve(request.archive),
                       outcome.backupMade,
                       outcome.backupFound,
                       sizeBefore,
                       fileSize(request.dbPath),
                       face.tables,
                       face.steps,
                       totalSeconds};
  if (request.json) return writeJsonSummary(request, status, toJson(summary));
  writeOut(toText(summary));
  return keepBackups(request, status, nullptr);
}

int runDryRun(const Request& request) {
  // No statement of this process can change the file from here on.
  db::setReadOnlyConnections(true);
  QString message;
  if (const RunVerdict verdict = checkBeforeChanging(request.dbPath, true, message); verdict != RunVerdict::Success)
    return refuse(request, exitStatusOf(verdict), message);

  DryRunSummary summary;
  bool counted = true;
  for (ShopTable table : selectedTables(request.selection)) {
    const TablePurgePlan plan = planTablePurge(table, request.dbPath, request.cutOff);
    const DryRunTable row{table, countTableRows(request.dbPath, plan), countPurgeableRows(request.dbPath, plan),
                          plan.dateColumn.isEmpty() ? -1 : countUnreadableDates(request.dbPath, plan)};
    if (row.rows < 0 || row.purgeable < 0 || row.kept < 0) {
      writeErr(QStringLiteral("purge-database: the rows of the %1 table could not be counted").arg(plan.table));
      counted = false;
    }
    summary.tables.push_back(row);
  }
  const QString backup = backupPathFor(request.dbPath, request.today);
  summary.database = paths::resolve(request.dbPath);
  summary.cutOff = request.cutOff.toString(Qt::ISODate);
  summary.backup = paths::resolve(backup);
  if (!request.archive.isEmpty() && !inspectArchive(request, summary)) counted = false;
  summary.status = counted ? kExitSuccess : kExitFailed;
  summary.backupWanted = !TodaysBackupFound(request.dbPath, backup);
  summary.size = fileSize(request.dbPath);
  summary.freeSpace = QStorageInfo(QFileInfo(summary.database).absolutePath()).bytesAvailable();
  if (request.json) return writeJsonSummary(request, summary.status, toJson(summary));
  writeOut(toText(summary));
  return keepBackups(request, summary.status, nullptr);
}

}  // namespace cli
