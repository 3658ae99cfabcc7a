// The command line's archive commands.
#include "cli/archive_commands.h"

#include <sys/stat.h>

#include <cerrno>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include "cli/cli_face.h"
#include "cli/cli_purge.h"
#include "cli/exit_status.h"
#include "platform/core/paths.h"
#include "platform/filesafety/run_lock.h"
#include "purge/backup_store.h"
#include "purge/purge_archive.h"
#include "purge/purge_db_files.h"

namespace cli {
namespace {

// Ends the command: the message on standard error (unless empty), and the
// summary (with --json one object) on standard output.
int finish(const Request& request, int status, const QString& message,
           const std::vector<archive::UnarchivedTable>& tables) {
  if (!message.isEmpty()) writeErr(QStringLiteral("purge-database: ") + message);
  qint64 refused = 0;
  for (const archive::UnarchivedTable& t : tables) refused += t.refused;
  if (refused > 0)
    writeErr(QStringLiteral("purge-database: %1 archived rows were not put back because their ID is taken by "
                            "another row of the database; they stay in the archive.")
                 .arg(refused));
  if (request.json) {
    QJsonArray list;
    for (const archive::UnarchivedTable& t : tables)
      list.append(QJsonObject{{"table", t.table},
                              {"ok", t.ok},
                              {"selected", t.selected},
                              {"putBack", t.returned},
                              {"refusedIdTaken", t.refused}});
    QJsonObject o{{"unarchive", true},
                  {"exitStatus", status},
                  {"database", paths::resolve(request.dbPath)},
                  {"archive", paths::resolve(request.archive)},
                  {"before", request.allArchived ? QJsonValue() : QJsonValue(request.cutOff.toString(Qt::ISODate))},
                  {"tables", list}};
    if (!message.isEmpty()) o.insert(QStringLiteral("error"), message);
    writeOut(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    return status;
  }
  if (tables.empty()) return status;
  writeOut(status == kExitSuccess ? QStringLiteral("Archived rows put back into %1 from %2.")
                                        .arg(paths::resolve(request.dbPath), paths::resolve(request.archive))
                                  : QStringLiteral("Unarchive failed (exit status %1).").arg(status));
  writeOut(QStringLiteral("%1 %2 %3 %4")
               .arg(QStringLiteral("table"), -14)
               .arg("selected", 10)
               .arg("put back", 10)
               .arg("refused (ID taken)", 19));
  for (const archive::UnarchivedTable& t : tables)
    writeOut(
        QStringLiteral("%1 %2 %3 %4").arg(t.table, -14).arg(t.selected, 10).arg(t.returned, 10).arg(t.refused, 19));
  return status;
}

int statusOfRefusal(const Status& s) {
  if (s.number() == EBUSY) return kExitInUse;
  return kExitFailed;
}

}  // namespace

int unarchiveCommand(const Request& request) {
  std::vector<archive::UnarchivedTable> tables;
  QString message;
  const RunVerdict verdict = checkBeforeChanging(request.dbPath, false, message);
  if (verdict == RunVerdict::InUse) return finish(request, kExitInUse, message, tables);
  if (verdict == RunVerdict::NoDatabase) return finish(request, kExitNoDatabase, message, tables);
  if (verdict != RunVerdict::Success) return finish(request, kExitFailed, message, tables);

  runlock::RunLock lock;
  Status refusal;
  if (!PrepareRun(request.dbPath, lock, refusal)) return finish(request, statusOfRefusal(refusal), QString(), tables);
  archive::Layout layout;
  runlock::RunLock archiveLock;
  Status s = archive::lockArchiveFolder(request.dbPath, request.archive, archiveLock);
  if (s.ok()) s = archive::prepare(request.dbPath, request.archive, false, layout);
  if (!s.ok()) return finish(request, statusOfRefusal(s), s.description(), tables);
  if (!CheckDB(request.dbPath)) return finish(request, kExitFailed, QString(), tables);
  const std::optional<QDate> before = request.allArchived ? std::nullopt : std::optional<QDate>(request.cutOff);
  const Status done = archive::unarchive(layout, selectedTables(request.selection), before, tables);
  return finish(request, done.ok() ? kExitSuccess : statusOfRefusal(done), done.description(), tables);
}

bool listArchive(const QString& archivePath, bool verify, QJsonValue& json, QString& text) {
  json = QJsonValue();
  text.clear();
  const QString path = paths::resolve(archivePath);
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return true;
  const backups::Check check = S_ISREG(st.st_mode) ? backups::checkFile(path, verify)
                                                   : backups::Check{false, QStringLiteral("not a regular file")};
  std::vector<std::pair<QString, qint64>> counts;
  const Status read = check.passed ? archive::rowCounts(path, counts) : Status::Ok();
  const QString verdict = read.ok() ? check.verdict : read.description();
  QJsonObject tables;
  QStringList parts;
  for (const auto& [table, n] : counts) {
    tables.insert(table, n);
    parts << QStringLiteral("%1 %2").arg(table).arg(n);
  }
  json = QJsonObject{{"path", path}, {"size", qint64(st.st_size)}, {"check", verdict}, {"rows", tables}};
  text = QStringLiteral("Archive %1  %2  %3\n  rows: %4")
             .arg(path, QLocale::c().formattedDataSize(st.st_size, 1, QLocale::DataSizeSIFormat), verdict,
                  parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", ")));
  return check.passed && read.ok();
}

}  // namespace cli
