// The day's backups beside a database file: names, checks, listing and
// retention. Restoring one is in backup_restore.cpp.
#include "purge/backup_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include "platform/db_file.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace backups {

namespace {

// Closes a read-only check connection on every way out.
struct ReadOnlyDb {
  sqlite3* db = nullptr;
  ~ReadOnlyDb() { sqlite3_close_v2(db); }
};

Status errnoStatus(int err) {
  return Status::Error(err, QString::fromLocal8Bit(std::strerror(err)));
}

}  // namespace

QDate dateOfName(const QString& fileName) {
  static const QRegularExpression kName(
      QStringLiteral("^kvbackup([0-9]{2})([0-9]{2})([0-9]{4})\\.mdb$"));
  const QRegularExpressionMatch m = kName.match(fileName);
  if (!m.hasMatch()) return {};
  return QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
}

QString nameForDate(const QDate& date) {
  return QStringLiteral("kvbackup") + date.toString(QStringLiteral("ddMMyyyy")) +
         QStringLiteral(".mdb");
}

Check checkFile(const QString& path, bool full) {
  const QString resolved = paths::resolve(path);
  if (!QFileInfo(resolved).isFile()) return {false, QStringLiteral("not a file")};
  QFile file(resolved);
  if (!file.open(QIODevice::ReadOnly)) return {false, file.errorString()};
  // An empty file opens as an empty database; only the header tells.
  const QByteArray head = file.read(16);
  file.close();
  if (head != QByteArray(db::kSqliteMagic, sizeof db::kSqliteMagic)) return {false, QStringLiteral("not a database")};
  // A read-only connection may not play a journal back; say why instead.
  if (files::hasLiveSidecar(resolved)) return {false, QString::fromLatin1(files::kInUseText)};

  ReadOnlyDb conn;
  int rc = sqlite3_open_v2(QFile::encodeName(resolved).constData(), &conn.db, SQLITE_OPEN_READONLY,
                           nullptr);
  sqlite3_stmt* stmt = nullptr;
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(conn.db, db::kBusyTimeoutMs);
    rc = sqlite3_prepare_v2(conn.db, full ? "PRAGMA integrity_check" : "PRAGMA quick_check", -1,
                            &stmt, nullptr);
  }
  QStringList found;
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
      found << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE)
    return {false, QString::fromUtf8(conn.db ? sqlite3_errmsg(conn.db) : sqlite3_errstr(rc))};
  if (found == QStringList{QStringLiteral("ok")}) return {true, found.first()};
  if (found.isEmpty()) return {false, QStringLiteral("no answer from the check")};
  QString verdict = found.first();
  if (found.size() > 1) verdict += QStringLiteral(" (and %1 more)").arg(found.size() - 1);
  return {false, verdict};
}

Status list(const QString& dbPath, CheckMode mode, QList<Entry>& out) {
  out.clear();
  const QDir folder = QFileInfo(paths::resolve(dbPath)).absoluteDir();
  if (!folder.exists()) return errnoStatus(ENOENT);
  const QFileInfoList infos =
      folder.entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
  for (const QFileInfo& info : infos) {
    const QDate date = dateOfName(info.fileName());
    if (!date.isValid()) continue;
    Entry entry;
    entry.date = date;
    entry.path = info.absoluteFilePath();
    entry.size = info.size();
    out << entry;
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Entry& a, const Entry& b) { return a.date > b.date; });
  if (mode != CheckMode::None) {
    for (Entry& entry : out) {
      entry.check = checkFile(entry.path, mode == CheckMode::Full);
      entry.checked = true;
    }
  }
  return Status::Ok();
}

Status beyondNewest(const QString& dbPath, int keep, const QDate& today, QList<Entry>& out) {
  out.clear();
  QList<Entry> all;
  const Status listed = list(dbPath, CheckMode::None, all);
  if (!listed.ok()) return listed;
  for (qsizetype i = std::max(keep, 0); i < all.size(); ++i)
    if (all[i].date != today) out << all[i];
  return Status::Ok();
}

Status keepNewest(const QString& dbPath, int keep, const QDate& today, bool dryRun,
                  QList<Removal>& out) {
  out.clear();
  if (keep < 1) return errnoStatus(EINVAL);
  QList<Entry> beyond;
  const Status listed = beyondNewest(dbPath, keep, today, beyond);
  if (!listed.ok()) return listed;
  Status first;
  for (const Entry& entry : beyond) {
    Status removed = dryRun ? Status::Ok() : files::removeFile(entry.path);
    // Gone meanwhile (another run kept the same N) is what was wanted.
    if (removed.number() == ENOENT) removed = Status::Ok();
    if (!removed.ok() && first.ok()) first = removed;
    out << Removal{entry, removed};
  }
  return first;
}

}  // namespace backups
