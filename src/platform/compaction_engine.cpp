// The compaction engine over SQLite's VACUUM INTO.
#include "platform/compaction_engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFile>
#include <sqlite3.h>

#include "platform/files.h"
#include "platform/paths.h"

namespace {

Status errnoStatus(int err) { return Status::Error(err, QString::fromLocal8Bit(std::strerror(err))); }

Status inUse() { return Status::Error(EBUSY, QString::fromLatin1(files::kInUseText)); }

// One SQLite connection, closed on scope exit.
class Connection {
 public:
  ~Connection() { close(); }
  Status open(const QByteArray& path, int flags) {
    const int rc = sqlite3_open_v2(path.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) return error(rc);
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 2000);
    return Status::Ok();
  }
  // Runs one statement with an optional text parameter; the first column of
  // its rows, joined by newlines, goes to `firstColumn` when given.
  Status run(const char* sql, const QByteArray* param = nullptr, QString* firstColumn = nullptr) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) return error(rc);
    if (param) sqlite3_bind_text(stmt, 1, param->constData(), int(param->size()), SQLITE_TRANSIENT);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      if (!firstColumn) continue;
      if (!firstColumn->isEmpty()) firstColumn->append(QLatin1Char('\n'));
      firstColumn->append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE ? Status::Ok() : error(rc);
  }
  Status close() {
    if (!m_db) return Status::Ok();
    const int rc = sqlite3_close(m_db);
    if (rc != SQLITE_OK) {
      const Status s = error(rc);
      sqlite3_close_v2(m_db);
      m_db = nullptr;
      return s;
    }
    m_db = nullptr;
    return Status::Ok();
  }

 private:
  Status error(int rc) const {
    const int code = m_db ? sqlite3_extended_errcode(m_db) : rc;
    const char* msg = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    return Status::Error(code, QString::fromUtf8(msg));
  }
  sqlite3* m_db = nullptr;
};

Status compact(const QByteArray& src, const QByteArray& dst) {
  Connection source;
  if (Status s = source.open(src, SQLITE_OPEN_READWRITE); !s.ok()) return s;
  // Reading the schema rolls a hot journal back; a WAL is folded in.
  if (Status s = source.run("PRAGMA schema_version"); !s.ok()) return s;
  if (Status s = source.run("PRAGMA wal_checkpoint(TRUNCATE)"); !s.ok()) return s;
  if (Status s = source.run("VACUUM INTO ?1", &dst); !s.ok()) return s;
  return source.close();
}

Status check(const QByteArray& dst) {
  Connection copy;
  if (Status s = copy.open(dst, SQLITE_OPEN_READONLY); !s.ok()) return s;
  QString verdict;
  if (Status s = copy.run("PRAGMA quick_check", nullptr, &verdict); !s.ok()) return s;
  if (verdict != QLatin1String("ok"))
    return Status::Error(SQLITE_CORRUPT, QStringLiteral("The compacted database failed its check: ") + verdict);
  return copy.close();
}

}  // namespace

Status CompactionEngine::CompactDatabase(const QString& source, const QString& destination) {
  const QByteArray src = QFile::encodeName(paths::resolve(source));
  const QByteArray dst = QFile::encodeName(paths::resolve(destination));

  struct stat st;
  if (::lstat(dst.constData(), &st) == 0) return errnoStatus(EEXIST);
  if (::stat(src.constData(), &st) != 0) return errnoStatus(errno);
  if (S_ISDIR(st.st_mode)) return errnoStatus(EISDIR);
  if (!S_ISREG(st.st_mode)) return errnoStatus(EINVAL);
  if (::access(src.constData(), R_OK) != 0) return errnoStatus(errno);
  if (files::isInUse(QFile::decodeName(src))) return inUse();

  Status result = compact(src, dst);
  if (result.ok() && files::hasLiveSidecar(QFile::decodeName(src))) result = inUse();
  if (result.ok()) result = files::syncFileAndFolder(QFile::decodeName(dst));
  if (result.ok()) result = check(dst);
  if (!result.ok()) {
    // The destination did not exist before; whatever is there is ours.
    ::unlink(dst.constData());
  }
  return result;
}
