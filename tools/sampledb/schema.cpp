// The shop database's tables and indexes: the one definition that the
// sample maker, the benchmark and the tests' shop databases all build.
#include "sampledb/sample_db.h"

namespace sampledb {

QStringList schemaSql() {
  return {
      QStringLiteral("CREATE TABLE Contacts(ID INTEGER PRIMARY KEY, Name TEXT, Company TEXT, "
                     "Address TEXT, City TEXT, State TEXT, Zip TEXT, Phone TEXT, AR TEXT, "
                     "LastContactDate DATETIME)"),
      QStringLiteral("CREATE TABLE Setup(ID INTEGER PRIMARY KEY, ShopName TEXT, "
                     "DefaultShipFrom INTEGER)"),
      QStringLiteral("CREATE TABLE InvoiceNumbers(ID INTEGER PRIMARY KEY, InvoiceNum TEXT, "
                     "AcctNum TEXT, Amount CURRENCY, [Date] DATETIME)"),
      QStringLiteral("CREATE TABLE Payments(ID INTEGER PRIMARY KEY, InvoiceNum TEXT, AcctNum TEXT, "
                     "PayType TEXT, Amount CURRENCY, [Date] DATETIME)"),
      QStringLiteral("CREATE TABLE Transactions(ID INTEGER PRIMARY KEY, InvoiceNum TEXT, "
                     "AcctNum TEXT, Description TEXT, Amount CURRENCY, [Date] DATETIME)"),
      QStringLiteral("CREATE TABLE Manifest(ID INTEGER PRIMARY KEY, TrackingNum TEXT, Carrier TEXT, "
                     "ShipToName TEXT, ShipToAddress TEXT, Weight REAL, Charge CURRENCY, "
                     "Exported BOOLEAN, [Date] DATETIME)"),
  };
}

// Indexes are named Table_Column. Every purge's date column has one, and
// the two purges that pick the cash rows (Payments, Transactions) have one on
// AcctNum; no purge selects invoice numbers by account, so InvoiceNumbers has
// none.
QStringList indexSql() {
  return {
      QStringLiteral("CREATE INDEX Contacts_LastContactDate ON Contacts(LastContactDate)"),
      QStringLiteral("CREATE INDEX InvoiceNumbers_Date ON InvoiceNumbers([Date])"),
      QStringLiteral("CREATE INDEX Payments_Date ON Payments([Date])"),
      QStringLiteral("CREATE INDEX Payments_AcctNum ON Payments(AcctNum)"),
      QStringLiteral("CREATE INDEX Transactions_Date ON Transactions([Date])"),
      QStringLiteral("CREATE INDEX Transactions_AcctNum ON Transactions(AcctNum)"),
      QStringLiteral("CREATE INDEX Manifest_Date ON Manifest([Date])"),
  };
}

}  // namespace sampledb
