// The day's backups beside a database file: names, checks, listing and
// retention. Restoring one is in backup_restore.cpp.
#include "purge/backup_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include "platform/core/paths.h"
#include "platform/core/posix_io.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/files.h"

namespace backups {

namespace {

using posix::errnoStatus;

// The tables every copy of the shop's database holds.
const char* const kShopTables[] = {"Setup", "Contacts", "InvoiceNumbers", "Payments", "Transactions", "Manifest"};

// The tables of the SQLite file at the absolute native path `native`, read
// from sqlite_schema through an immutable read-only connection: no lock is
// taken and no journal or WAL beside the file is looked at or played back.
// Empty, with `error` set, when the schema cannot be read.
QStringList tablesOf(const QByteArray& native, QString& error) {
  db::RawConnection conn;
  QStringList tables;
  Status s =
      conn.open(db::fileUri(native, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW);
  if (s.ok()) s = conn.rows("SELECT name FROM sqlite_schema WHERE type = 'table'", tables);
  if (s.ok()) return tables;
  error = s.description();
  return {};
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

QDate dateOfName(const QString& fileName) {
  // \z, not $: "$" also matches before a final newline.
  static const QRegularExpression kName(QStringLiteral("^kvbackup([0-9]{2})([0-9]{2})([0-9]{4})\\.mdb\\z"));
  const QRegularExpressionMatch m = kName.match(fileName);
  if (!m.hasMatch()) return {};
  return QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
}

QDateTime timeOfKeptName(const QString& fileName) {
  static const QRegularExpression kName(QStringLiteral("^kvbeforerestore([0-9]{14})\\.mdb\\z"));
  const QRegularExpressionMatch m = kName.match(fileName);
  if (!m.hasMatch()) return {};
  return QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMddhhmmss"));
}

namespace {

// "" when the regular file `st` at `native`, opened without blocking and
// without following a link put there meanwhile, is still that file and
// begins with the SQLite header; otherwise why not.
QString headerFinding(const QByteArray& native, const struct stat& st) {
  posix::Fd f(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
  struct stat opened;
  char head[sizeof db::kSqliteMagic];
  if (!f.valid() || ::fstat(f.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(opened, st))
    return QStringLiteral("changed while it was looked at");
  if (::pread(f.get(), head, sizeof head, 0) != ssize_t(sizeof head) ||
      std::memcmp(head, db::kSqliteMagic, sizeof head) != 0)
    return QStringLiteral("not a database");
  return QString();
}

// "" when the database file at `native` holds the shop's tables as a copy
// of the database `dbPath` would: at least one, and every one the database
// holds (when it can be read); otherwise why not.
QString tablesFinding(const QByteArray& native, const QString& dbPath) {
  QString error;
  const QStringList tables = tablesOf(native, error);
  if (!error.isEmpty()) return QStringLiteral("not a database of the shop (") + error + QLatin1Char(')');
  QString dbError;
  QStringList dbTables;
  const db::DbFile database = db::DbFile(dbPath).followed();
  struct stat dbReg;
  if (!dbPath.isEmpty() && ::stat(database.nativePath().constData(), &dbReg) == 0 && S_ISREG(dbReg.st_mode))
    dbTables = tablesOf(database.nativePath(), dbError);
  QStringList missing;
  bool any = false;
  for (const char* table : kShopTables) {
    const bool here = tables.contains(QLatin1String(table), Qt::CaseInsensitive);
    any = any || here;
    if (!here && dbTables.contains(QLatin1String(table), Qt::CaseInsensitive)) missing << QLatin1String(table);
  }
  if (any && missing.isEmpty()) return QString();
  if (missing.isEmpty()) missing << QStringLiteral("of the shop");
  return QStringLiteral("not a database of the shop (no table %1)").arg(missing.join(QStringLiteral(", ")));
}

}  // namespace

Standing standingOf(const QString& backupPath, const QString& dbPath, QString* why) {
  QString ignored;
  QString& reason = why ? *why : ignored;
  reason.clear();
  const QByteArray native = QFile::encodeName(QFileInfo(paths::resolve(backupPath)).absoluteFilePath());
  struct stat st;
  if (::lstat(native.constData(), &st) != 0) {
    const int err = errno;
    reason = QString::fromLocal8Bit(std::strerror(err));
    return err == ENOENT || err == ENOTDIR ? Standing::Absent : Standing::Foreign;
  }
  if (S_ISDIR(st.st_mode)) {
    reason = QStringLiteral("a folder, not a backup");
    return Standing::Absent;
  }
  struct stat dbSt;
  if (S_ISLNK(st.st_mode))
    reason = QStringLiteral("a symbolic link, not a backup");
  else if (!S_ISREG(st.st_mode))
    reason = QStringLiteral("not a regular file");
  else if (::stat(QFile::encodeName(paths::resolve(dbPath)).constData(), &dbSt) == 0 && sameFile(st, dbSt))
    reason = QStringLiteral("the database itself under another name, not a backup");
  if (reason.isEmpty()) reason = headerFinding(native, st);
  if (reason.isEmpty()) reason = tablesFinding(native, dbPath);
  // The name still names the file that was read.
  struct stat after;
  if (reason.isEmpty() && (::lstat(native.constData(), &after) != 0 || !S_ISREG(after.st_mode) || !sameFile(after, st)))
    reason = QStringLiteral("changed while it was looked at");
  return reason.isEmpty() ? Standing::Valid : Standing::Foreign;
}

QString nameForDate(const QDate& date) {
  return QStringLiteral("kvbackup") + date.toString(QStringLiteral("ddMMyyyy")) + QStringLiteral(".mdb");
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

  // With no live journal or WAL beside it the file alone is the backup:
  // read as immutable, so a WAL-mode backup gets no -wal or -shm made beside it.
  db::RawConnection conn;
  QStringList found;
  Status s = conn.open(db::fileUri(QFile::encodeName(resolved), "mode=ro&immutable=1"),
                       SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  if (s.ok()) s = conn.rows(full ? "PRAGMA integrity_check" : "PRAGMA quick_check", found);
  if (!s.ok()) return {false, s.description()};
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
  const QFileInfoList infos = folder.entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
  for (const QFileInfo& info : infos) {
    Entry entry;
    entry.date = dateOfName(info.fileName());
    if (entry.date.isValid()) {
      entry.time = QDateTime(entry.date, QTime(0, 0));
    } else {
      entry.time = timeOfKeptName(info.fileName());
      if (!entry.time.isValid()) continue;
      entry.kind = Kind::BeforeRestore;
      entry.date = entry.time.date();
    }
    entry.path = info.absoluteFilePath();
    entry.size = info.size();
    out << entry;
  }
  std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.time > b.time; });
  if (mode != CheckMode::None) {
    for (Entry& entry : out) {
      QString why;
      if (standingOf(entry.path, dbPath, &why) == Standing::Valid)
        entry.check = checkFile(entry.path, mode == CheckMode::Full);
      else
        entry.check = {false, why};
      entry.checked = true;
    }
  }
  return Status::Ok();
}

Status beyondNewest(const QString& dbPath, int keep, const QDate& today, QList<Entry>& out, bool todayCounts) {
  out.clear();
  QList<Entry> all;
  const Status listed = list(dbPath, CheckMode::None, all);
  if (!listed.ok()) return listed;
  QList<Entry> counted;
  bool todayThere = false;
  for (const Entry& entry : all) {
    if (standingOf(entry.path, dbPath) != Standing::Valid) continue;
    todayThere = todayThere || (entry.kind == Kind::Daily && entry.date == today);
    counted << entry;
  }
  if (todayCounts && !todayThere) {
    // Where today's backup will stand once made; it is dated today, so it
    // is never named itself.
    Entry made;
    made.date = today;
    made.time = QDateTime(today, QTime(0, 0));
    const auto at = std::find_if(counted.begin(), counted.end(), [&](const Entry& e) { return e.time < made.time; });
    counted.insert(at, made);
  }
  for (qsizetype i = std::max(keep, 0); i < counted.size(); ++i)
    if (counted[i].date != today) out << counted[i];
  return Status::Ok();
}

Status keepNewest(const QString& dbPath, int keep, const QDate& today, bool dryRun, QList<Removal>& out,
                  bool todayCounts) {
  out.clear();
  if (keep < 1) return errnoStatus(EINVAL);
  QList<Entry> beyond;
  const Status listed = beyondNewest(dbPath, keep, today, beyond, todayCounts);
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
