// Shop databases for tests.
#include "support/shop_db.h"

#include <sqlite3.h>

#include "sampledb/sample_db.h"
#include "support/sandbox.h"

namespace test {
namespace {

struct Db {
  sqlite3* db = nullptr;
  ~Db() { sqlite3_close_v2(db); }
};

}  // namespace

bool sqlExec(const QString& path, const QString& sql, QString* error) {
  Db d;
  if (sqlite3_open_v2(path.toUtf8().constData(), &d.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    if (error) *error = QString::fromUtf8(sqlite3_errmsg(d.db));
    return false;
  }
  char* msg = nullptr;
  if (sqlite3_exec(d.db, sql.toUtf8().constData(), nullptr, nullptr, &msg) != SQLITE_OK) {
    if (error) *error = QString::fromUtf8(msg);
    sqlite3_free(msg);
    return false;
  }
  return true;
}

bool createShopDb(const QString& path, QString* error) {
  const QStringList statements = sampledb::schemaSql() + sampledb::indexSql();
  return sqlExec(path, statements.join(QStringLiteral(";\n")), error);
}

bool createShopDbWithRows(const QString& path, const QString& rows, QString* error) {
  return createShopDb(path, error) && sqlExec(path, rows, error);
}

QStringList sqlColumn(const QString& path, const QString& sql) {
  QStringList out;
  Db d;
  if (sqlite3_open_v2(path.toUtf8().constData(), &d.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return out;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(d.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) return out;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    if (sqlite3_column_type(stmt, 0) == SQLITE_NULL)
      out << QStringLiteral("<null>");
    else
      out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
  }
  sqlite3_finalize(stmt);
  return out;
}

long long sqlScalar(const QString& path, const QString& sql) {
  const QStringList col = sqlColumn(path, sql);
  if (col.isEmpty()) return -1;
  bool ok = false;
  const long long v = col.first().toLongLong(&ok);
  return ok ? v : -1;
}

QByteArray backupStandIn(const QByteArray& note) {
  TempDir dir;
  const QString path = dir.file(QStringLiteral("standin.mdb"));
  QByteArray quoted = note;
  quoted.replace('\'', "''");
  if (!createShopDbWithRows(path,
                            QStringLiteral("INSERT INTO Setup(ShopName) VALUES ('%1')").arg(QString::fromUtf8(quoted))))
    return {};
  return readFile(path);
}

}  // namespace test
