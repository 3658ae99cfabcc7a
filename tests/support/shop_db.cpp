// Shop databases for tests.
#include "support/shop_db.h"

#include <sqlite3.h>

namespace test {
namespace {

const char* const kSchema = R"sql(
CREATE TABLE InvoiceNumbers(ID INTEGER PRIMARY KEY, InvoiceNum TEXT, AcctNum TEXT, Amount CURRENCY, [Date] DATETIME);
CREATE TABLE Payments(ID INTEGER PRIMARY KEY, InvoiceNum TEXT, AcctNum TEXT, PayType TEXT, Amount CURRENCY, [Date] DATETIME);
CREATE TABLE Transactions(ID INTEGER PRIMARY KEY, InvoiceNum TEXT, AcctNum TEXT, Description TEXT, Amount CURRENCY, [Date] DATETIME);
CREATE TABLE Manifest(ID INTEGER PRIMARY KEY, TrackingNum TEXT, Carrier TEXT, ShipToName TEXT, Weight REAL, Charge CURRENCY, Exported BOOLEAN, [Date] DATETIME);
CREATE TABLE Contacts(ID INTEGER PRIMARY KEY, Name TEXT, Company TEXT, Address TEXT, City TEXT, State TEXT, Zip TEXT, Phone TEXT, AR TEXT, LastContactDate DATETIME);
CREATE TABLE Setup(ID INTEGER PRIMARY KEY, ShopName TEXT, DefaultShipFrom INTEGER);
CREATE INDEX InvoiceNumbers_Date ON InvoiceNumbers([Date]);
CREATE INDEX InvoiceNumbers_AcctNum ON InvoiceNumbers(AcctNum);
CREATE INDEX Payments_Date ON Payments([Date]);
CREATE INDEX Payments_AcctNum ON Payments(AcctNum);
CREATE INDEX Transactions_Date ON Transactions([Date]);
CREATE INDEX Transactions_AcctNum ON Transactions(AcctNum);
CREATE INDEX Manifest_Date ON Manifest([Date]);
CREATE INDEX Contacts_LastContactDate ON Contacts(LastContactDate);
)sql";

struct Db {
  sqlite3* db = nullptr;
  ~Db() { sqlite3_close_v2(db); }
};

}  // namespace

bool sqlExec(const QString& path, const QString& sql, QString* error) {
  Db d;
  if (sqlite3_open_v2(path.toUtf8().constData(), &d.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
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
  return sqlExec(path, QString::fromUtf8(kSchema), error);
}

QStringList sqlColumn(const QString& path, const QString& sql) {
  QStringList out;
  Db d;
  if (sqlite3_open_v2(path.toUtf8().constData(), &d.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    return out;
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

}  // namespace test
