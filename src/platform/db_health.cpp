// Recovery and integrity check of a database file over the SQLite C API.
#include "platform/db_health.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <QFile>

#include "platform/db_file.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace db_health {
namespace {

// One connection, closed on scope exit; read-only for a file without any
// write permission bit, as the purge's own connections.
class Handle {
 public:
  ~Handle() { sqlite3_close_v2(m_db); }
  Status open(const QString& path) {
    const int flags = files::isReadOnly(path) ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(QFile::encodeName(paths::resolve(path)).constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) return error();
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, db::kBusyTimeoutMs);
    return Status::Ok();
  }
  // Runs `sql`; the first column of each row goes to `rows` when given.
  // Fails with `prepared` false when the statement could not be prepared.
  Status run(const QByteArray& sql, QStringList* rows = nullptr, bool* prepared = nullptr) {
    sqlite3_stmt* stmt = nullptr;
    if (prepared) *prepared = false;
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK) return error();
    if (prepared) *prepared = true;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
      if (rows) rows->append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
    const Status s = rc == SQLITE_DONE ? Status::Ok() : error();
    sqlite3_finalize(stmt);
    return s;
  }

 private:
  Status error() const {
    if (!m_db) return Status::Error(SQLITE_NOMEM, QString::fromUtf8(sqlite3_errstr(SQLITE_NOMEM)));
    return Status::Error(sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db)));
  }
  sqlite3* m_db = nullptr;
};

QByteArray quoted(const QString& name) {
  QString q = name;
  q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return '"' + q.toUtf8() + '"';
}

}  // namespace

Status recover(const QString& path) {
  // Only a regular file: SQLite would wait on a FIFO for ever.
  struct stat st;
  if (::stat(QFile::encodeName(paths::resolve(path)).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return Status::Ok();
  if (!files::hasLiveSidecar(path) || files::isReadOnly(path) || !files::useStatus(path).ok()) return Status::Ok();
  Handle db;
  if (Status s = db.open(path); !s.ok()) return s;
  // The first read rolls a hot journal back; the checkpoint folds a WAL in,
  // and closing the last connection removes it.
  if (Status s = db.run("PRAGMA schema_version"); !s.ok()) return s;
  return db.run("PRAGMA wal_checkpoint(TRUNCATE)");
}

Status check(const QString& path, const QStringList& tables, QStringList& findings) {
  findings.clear();
  Handle db;
  if (Status s = db.open(path); !s.ok()) return s;
  QStringList present;
  if (Status s = db.run("SELECT name FROM sqlite_schema WHERE type = 'table'", &present); !s.ok()) return s;
  for (const QString& table : tables) {
    if (!present.contains(table, Qt::CaseInsensitive)) continue;
    QStringList lines;
    bool prepared = false;
    const Status s = db.run("PRAGMA integrity_check(" + quoted(table) + ")", &lines, &prepared);
    if (!s.ok() && !prepared) return s;
    if (!s.ok()) lines << s.description();
    lines.removeAll(QStringLiteral("ok"));
    lines.removeIf([](const QString& line) { return line.startsWith(QLatin1String("*** in database")); });
    findings << lines;
    if (findings.size() >= kMaxFindings) break;
  }
  if (findings.size() > kMaxFindings) findings.erase(findings.begin() + kMaxFindings, findings.end());
  return Status::Ok();
}

}  // namespace db_health
