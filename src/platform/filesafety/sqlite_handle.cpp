// The bare SQLite connection over the C API.
#include "platform/filesafety/sqlite_handle.h"

#include <sqlite3.h>

#include "platform/core/vector_unit.h"

namespace db {

Status RawConnection::open(const QByteArray& path, int flags, const char* vfs) {
  close();
  const int rc = sqlite3_open_v2(path.constData(), &m_db, flags, vfs);
  if (rc != SQLITE_OK) {
    const Status s = error(rc);
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    return s;
  }
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
  return Status::Ok();
}

Status RawConnection::run(const char* sql, const QByteArray* param, QString* firstColumn) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return error(rc);
  if (param) sqlite3_bind_text(stmt, 1, param->constData(), int(param->size()), SQLITE_TRANSIENT);
  for (;;) {
    cpu::settleVectorUnit();
    if ((rc = sqlite3_step(stmt)) != SQLITE_ROW) break;
    if (!firstColumn) continue;
    if (!firstColumn->isEmpty()) firstColumn->append(QLatin1Char('\n'));
    firstColumn->append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
  }
  sqlite3_finalize(stmt);
  return rc == SQLITE_DONE ? Status::Ok() : error(rc);
}

Status RawConnection::rows(const QByteArray& sql, QStringList& rows, bool* prepared) {
  sqlite3_stmt* stmt = nullptr;
  if (prepared) *prepared = false;
  if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
    return error(SQLITE_ERROR);
  if (prepared) *prepared = true;
  int rc;
  for (;;) {
    cpu::settleVectorUnit();
    if ((rc = sqlite3_step(stmt)) != SQLITE_ROW) break;
    rows.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
  }
  const Status s = rc == SQLITE_DONE ? Status::Ok() : error(rc);
  sqlite3_finalize(stmt);
  return s;
}

Status RawConnection::close() {
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

Status RawConnection::error(int rc) const {
  const int code = m_db ? sqlite3_extended_errcode(m_db) : rc;
  const char* msg = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
  return Status::Error(code, QString::fromUtf8(msg));
}

}  // namespace db
