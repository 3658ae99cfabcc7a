// The archive file: where it is, what may stand at its name, its checks, its
// tables, and the settling of rows an interrupted run left in both files.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include "platform/core/paths.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/db_health.h"
#include "platform/filesafety/files.h"
#include "platform/filesafety/sqlite_handle.h"
#include "purge/archive_sql.h"
#include "purge/backup_store.h"
#include "purge/purge_archive.h"

namespace archive {
namespace {

// A refusal naming the archive. A file that is no database is told as
// damaged: "no database" is the shop database's own verdict.
Status refused(int32_t number, const QString& what, const QString& path) {
  if (number == SQLITE_NOTADB) number = SQLITE_CORRUPT;
  return Status::Error(number, QStringLiteral("The archive %1 %2; nothing was purged.").arg(path, what));
}

// What stands at the archive's name: ENOENT when nothing (or an empty file,
// which a kill left before the first commit: removed here when
// `removeEmpty`), Ok for a regular file that may be used, else the refusal.
Status standingOf(const QString& path, const QString& dbPath, bool removeEmpty) {
  const QByteArray native = QFile::encodeName(path);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0) {
    if (errno == ENOENT) return Status::Error(ENOENT, QString());
    return refused(errno, QStringLiteral("cannot be looked at (%1)").arg(QString::fromLocal8Bit(strerror(errno))),
                   path);
  }
  if (S_ISLNK(st.st_mode)) return refused(EINVAL, QStringLiteral("is a link, not a file"), path);
  if (!S_ISREG(st.st_mode)) return refused(EINVAL, QStringLiteral("is not a regular file"), path);
  const QString name = QFileInfo(path).fileName();
  if (backups::dateOfName(name).isValid() || backups::timeOfKeptName(name).isValid())
    return refused(EINVAL, QStringLiteral("has the name of a backup, which retention may remove"), path);
  struct stat dbSt {};
  if (::stat(QFile::encodeName(dbPath).constData(), &dbSt) == 0 && dbSt.st_dev == st.st_dev && dbSt.st_ino == st.st_ino)
    return refused(EINVAL, QStringLiteral("is the database itself"), path);
  if (st.st_size == 0 && (!removeEmpty || ::unlink(native.constData()) == 0)) return Status::Error(ENOENT, QString());
  return Status::Ok();
}

// An existing archive must be a database, recovered from what a crashed
// writer left, and whole.
Status checkExisting(const QString& path) {
  if (!db::DbFile::fromNative(QFile::encodeName(path)).checkHeader().ok())
    return refused(SQLITE_CORRUPT, QStringLiteral("is not a database"), path);
  if (Status s = db::recoverLeftovers(path); !s.ok())
    return refused(s.number(), QStringLiteral("could not be recovered: ") + s.description(), path);
  QStringList tables, findings;
  for (ShopTable t : archivedTables()) tables << shopTableName(t);
  const Status checked = db::checkTables(path, tables, findings);
  if (!checked.ok()) return refused(checked.number(), QStringLiteral("cannot be read: ") + checked.description(), path);
  if (!findings.isEmpty())
    return refused(SQLITE_CORRUPT, QStringLiteral("is damaged: ") + findings.join(QStringLiteral("; ")), path);
  return Status::Ok();
}

// The names of the columns of `table` in the schema `schema` of `conn`.
QStringList columnsOf(db::RawConnection& conn, const QString& schema, const QString& table) {
  QStringList names;
  conn.rows(QStringLiteral("SELECT name FROM pragma_table_info(%1, %2)").arg(sqlText(table), sqlText(schema)).toUtf8(),
            names);
  return names;
}

// Gives the archive the table of `table` with every column the database's
// has, and its indexes; fills `columns`.
Status shapeTable(db::RawConnection& conn, const QString& table, QStringList& columns) {
  columns = columnsOf(conn, QStringLiteral("shop"), table);
  if (columns.isEmpty()) return Status::Ok();  // the database has no such table
  if (!columns.contains(QStringLiteral("ID"), Qt::CaseInsensitive))
    return Status::Error(EINVAL, QStringLiteral("The %1 table has no ID column; nothing was purged.").arg(table));
  const QStringList have = columnsOf(conn, QStringLiteral("main"), table);
  QStringList statements;
  if (have.isEmpty()) {
    QStringList defs;
    for (const QString& c : columns) defs << bracketed(c);
    statements << QStringLiteral("CREATE TABLE main.%1 (%2, %3 DATETIME)")
                      .arg(bracketed(table), defs.join(QStringLiteral(", ")), QLatin1String(kArchivedOn));
  }
  for (const QString& c : columns)
    if (!have.isEmpty() && !have.contains(c, Qt::CaseInsensitive))
      statements << QStringLiteral("ALTER TABLE main.%1 ADD COLUMN %2").arg(bracketed(table), bracketed(c));
  statements
      << QStringLiteral("CREATE INDEX IF NOT EXISTS main.%1 ON %2(ID)").arg(bracketed(table + "_ID"), bracketed(table));
  for (const QString& sql : statements)
    if (Status s = conn.run(sql.toUtf8().constData()); !s.ok()) return s;
  return Status::Ok();
}

// Removes the archive's copy of every row of a table marked pending that
// the database holds with the same values: the database's commit of an
// interrupted archiving did not land (the rows stay in the database), or
// that of an undo did (the rows are back in it). Then clears the marks.
Status settlePending(db::RawConnection& conn, const Layout& layout) {
  QStringList pending;
  if (Status s =
          conn.rows(QStringLiteral("SELECT DISTINCT TableName FROM main.%1").arg(kPendingTable).toUtf8(), pending);
      !s.ok())
    return s;
  for (const QString& table : pending) {
    const auto it = layout.columns.find(table);
    if (it != layout.columns.end()) {
      const QString t = bracketed(table);
      const QString sql = QStringLiteral("DELETE FROM main.%1 WHERE EXISTS (SELECT 1 FROM shop.%1 AS m WHERE %2)")
                              .arg(t, sameRow(it->second, QStringLiteral("m"), QStringLiteral("main.") + t));
      if (Status s = conn.run(sql.toUtf8().constData()); !s.ok()) return s;
    }
    const QByteArray name = table.toUtf8();
    if (Status s = conn.run(
            QStringLiteral("DELETE FROM main.%1 WHERE TableName = ?").arg(kPendingTable).toUtf8().constData(), &name);
        !s.ok())
      return s;
  }
  return Status::Ok();
}

// In one transaction: the tables, the bookkeeping table, and the settling.
Status shapeAndSettle(db::RawConnection& conn, Layout& layout) {
  if (Status s = conn.run("BEGIN IMMEDIATE"); !s.ok()) return s;
  Status s = conn.run(
      QStringLiteral("CREATE TABLE IF NOT EXISTS main.%1 (TableName TEXT)").arg(kPendingTable).toUtf8().constData());
  for (ShopTable t : archivedTables()) {
    if (!s.ok()) break;
    QStringList columns;
    s = shapeTable(conn, shopTableName(t), columns);
    if (s.ok() && !columns.isEmpty()) layout.columns[shopTableName(t)] = columns;
  }
  if (s.ok()) s = settlePending(conn, layout);
  if (s.ok()) return conn.run("COMMIT");
  conn.run("ROLLBACK");
  return s;
}

}  // namespace

Status lockArchiveFolder(const QString& dbPath, const QString& archivePath, runlock::RunLock& lock) {
  auto folderOf = [](const QString& path, struct stat& st) {
    return ::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &st) == 0;
  };
  struct stat archiveDir {
  }, dir{};
  if (!folderOf(paths::resolve(archivePath), archiveDir)) return Status::Ok();  // prepare() says why
  const db::DbFile database(dbPath);
  for (const QString& path : {database.path(), database.followed().path()})
    if (folderOf(path, dir) && dir.st_dev == archiveDir.st_dev && dir.st_ino == archiveDir.st_ino) return Status::Ok();
  return lock.acquire(archivePath);
}

QString archivePathFor(const QString& dbPath) {
  const qsizetype cut = std::max(dbPath.lastIndexOf(QLatin1Char('\\')), dbPath.lastIndexOf(QLatin1Char('/')));
  return dbPath.left(cut + 1) + QStringLiteral("kvarchive.mdb");
}

Status prepare(const QString& dbPath, const QString& archivePath, bool create, Layout& layout) {
  layout = Layout{paths::resolve(archivePath), db::DbFile(dbPath).followed().path(), {}};
  const QString& path = layout.path;
  const Status standing = standingOf(path, layout.dbPath, true);
  const bool missing = standing.number() == ENOENT && standing.description().isEmpty();
  if (!standing.ok() && !missing) return standing;
  if (missing && !create) return refused(ENOENT, QStringLiteral("is not there"), path);
  if (!missing)
    if (Status s = checkExisting(path); !s.ok()) return s;

  db::RawConnection conn;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | (missing ? SQLITE_OPEN_CREATE : 0);
  if (Status s = conn.open(QFile::encodeName(path), flags); !s.ok()) return refused(s.number(), s.description(), path);
  // The database's journal mode, so both commit together as the database's
  // own commits do: across both files in rollback-journal mode, one file
  // after the other (the archive first) in WAL mode.
  const bool wal = db::DbFile(dbPath).journalMode() == db::DbFile::JournalMode::Wal;
  if (Status s = conn.run(wal ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE"); !s.ok())
    return refused(s.number(), QStringLiteral("cannot be given the database's journal mode: ") + s.description(), path);
  const QByteArray shop = layout.dbPath.toUtf8();
  if (Status s = conn.run("ATTACH DATABASE ? AS shop", &shop); !s.ok()) return s;
  if (Status s = shapeAndSettle(conn, layout); !s.ok())
    return refused(s.number(), QStringLiteral("could not be made ready: ") + s.description(), path);
  return conn.close();
}

Status inspect(const QString& dbPath, const QString& archivePath, bool& present) {
  const QString path = paths::resolve(archivePath);
  const Status standing = standingOf(path, db::DbFile(dbPath).followed().path(), false);
  present = standing.ok();
  if (standing.number() == ENOENT && standing.description().isEmpty()) return Status::Ok();
  if (!standing.ok()) return standing;
  if (!db::DbFile::fromNative(QFile::encodeName(path)).checkHeader().ok())
    return refused(SQLITE_CORRUPT, QStringLiteral("is not a database"), path);
  if (files::hasLiveSidecar(path)) return refused(EBUSY, QString::fromLatin1(files::kInUseText), path);
  // With no live journal or WAL beside it the file alone is the archive:
  // read as immutable, nothing is made beside it (a dry run changes nothing).
  db::RawConnection conn;
  QStringList found;
  Status s =
      conn.open(db::fileUri(QFile::encodeName(path), "mode=ro&immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  if (s.ok()) s = conn.rows("PRAGMA integrity_check", found);
  if (s.ok() && found == QStringList{QStringLiteral("ok")}) return Status::Ok();
  return refused(SQLITE_CORRUPT, QStringLiteral("fails its check: ") + (s.ok() ? found.value(0) : s.description()),
                 path);
}

Status rowCounts(const QString& archivePath, std::vector<std::pair<QString, qint64>>& out) {
  out.clear();
  db::RawConnection conn;
  // Immutable unless a WAL is there to read: nothing is made beside it.
  const QString path = paths::resolve(archivePath);
  const QByteArray uri =
      db::fileUri(QFile::encodeName(path), files::hasLiveSidecar(path) ? "mode=ro" : "mode=ro&immutable=1");
  if (Status s = conn.open(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW); !s.ok()) return s;
  for (ShopTable t : archivedTables()) {
    const QString table = shopTableName(t);
    QString count;
    const QString sql = QStringLiteral("SELECT count(*) FROM main.%1").arg(bracketed(table));
    if (columnsOf(conn, QStringLiteral("main"), table).isEmpty()) continue;
    if (Status s = conn.run(sql.toUtf8().constData(), nullptr, &count); !s.ok()) return s;
    out.emplace_back(table, count.toLongLong());
  }
  return Status::Ok();
}

}  // namespace archive
