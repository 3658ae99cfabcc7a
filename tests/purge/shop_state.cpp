// Independent reads of a shop database and its folder for the crash and
// concurrency tests.
#include "shop_state.h"

#include <sqlite3.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/shop_db.h"

namespace test {

const std::array<const char*, kTableCount> kPurgeOrder = {"Contacts", "InvoiceNumbers", "Payments", "Transactions",
                                                          "Manifest"};

namespace {

struct Db {
  sqlite3* db = nullptr;
  ~Db() { sqlite3_close_v2(db); }
};

// The rows each purge deletes, for cut-off text `cut` and the shop's own
// contact `shipFrom` (0 when Setup names none).
QString scopeOf(int table, const QString& cut, long long shipFrom) {
  const QString dated = QStringLiteral("[Date] < '%1'").arg(cut);
  switch (table) {
    case 0: {
      QString c = QStringLiteral("((LastContactDate < '%1' AND AR IS NULL) OR LastContactDate IS NULL)").arg(cut);
      if (shipFrom > 0) c = QStringLiteral("(%1 AND ID <> %2)").arg(c).arg(shipFrom);
      return c;
    }
    case 2:
    case 3:
      return QStringLiteral("(AcctNum = 'Cash' AND %1)").arg(dated);
    default:
      return dated;
  }
}

long long scalar(sqlite3* db, const QString& sql) {
  sqlite3_stmt* st = nullptr;
  long long v = -1;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    v = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return v;
}

// SHA-256 over every column of every row of `sql`, with type tags so that
// Null, '' and 0 differ; empty when the query fails.
QByteArray rowsHash(sqlite3* db, const QString& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) return {};
  QCryptographicHash h(QCryptographicHash::Sha256);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      const int type = sqlite3_column_type(st, c);
      const char tag = char('0' + type);
      h.addData(QByteArrayView(&tag, 1));
      if (type == SQLITE_NULL) continue;
      const char* bytes = static_cast<const char*>(sqlite3_column_blob(st, c));
      const int n = sqlite3_column_bytes(st, c);
      h.addData(QByteArray::number(n) + ':');
      h.addData(QByteArrayView(bytes, n));
    }
    h.addData(QByteArrayView("\n", 1));
  }
  sqlite3_finalize(st);
  return rc == SQLITE_DONE ? h.result() : QByteArray();
}

}  // namespace

ShopState readShopState(const QString& path, const QDate& cutOff) {
  ShopState state;
  Db d;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &d.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    return state;
  sqlite3_busy_timeout(d.db, 5000);
  state.opened = true;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(d.db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK) {
    QStringList lines;
    while (sqlite3_step(st) == SQLITE_ROW)
      lines << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    state.integrity = lines.join(QLatin1Char('\n'));
  }
  sqlite3_finalize(st);

  const QString cut = cutOff.toString(Qt::ISODate);
  const long long shipFrom = scalar(d.db, QStringLiteral("SELECT DefaultShipFrom FROM Setup"));
  for (int t = 0; t < kTableCount; ++t) {
    const QString table = QString::fromLatin1(kPurgeOrder[size_t(t)]);
    const QString scope = scopeOf(t, cut, shipFrom);
    TableState& s = state.tables[size_t(t)];
    s.rows = scalar(d.db, QStringLiteral("SELECT count(*) FROM %1").arg(table));
    s.inScope = scalar(d.db, QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table, scope));
    // A row whose condition is Null is kept by the delete, so it is kept here.
    s.keptHash =
        rowsHash(d.db, QStringLiteral("SELECT * FROM %1 WHERE NOT coalesce(%2, 0) ORDER BY ID").arg(table, scope));
  }
  return state;
}

QStringList folderEntries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void emptyFolder(const QString& folder) {
  QDir dir(folder);
  for (const QString& name : folderEntries(folder)) dir.remove(name);
}

QStringList fullRunArgs(const QDate& cutOff, const QDate& today) {
  return {QStringLiteral("--contacts"), QStringLiteral("--invoices"), QStringLiteral("--shipments"),
          QStringLiteral("--cutoff"),   cutOff.toString(Qt::ISODate), QStringLiteral("--today"),
          today.toString(Qt::ISODate)};
}

QString runPurgeChild(const QStringList& args) {
  QProcess child;
  child.setProcessChannelMode(QProcess::SeparateChannels);
  child.start(QStringLiteral(PURGE_RUN_CHILD), args);
  if (!child.waitForStarted(10000)) return {};
  if (!child.waitForFinished(120000)) {
    child.kill();
    child.waitForFinished(5000);
    return {};
  }
  return QString::fromUtf8(child.readAllStandardOutput());
}

}  // namespace test

namespace test {

RowSplit rowSplit(const QString& pristine, const QString& db, const QString& archive, const char* table) {
  RowSplit split;
  Db d;
  // Read-write, so that SQLite rolls back what a killed writer left; no
  // archive yet reads as an empty one.
  const QString a = QFileInfo(archive).size() > 0 ? archive : QStringLiteral(":memory:");
  const QString setUp = QStringLiteral(
                            "ATTACH '%1' AS d; ATTACH '%2' AS a; CREATE TABLE IF NOT EXISTS a.%3 AS SELECT * "
                            "FROM main.%3 WHERE 0")
                            .arg(db, a, table);
  if (sqlite3_open_v2(QFile::encodeName(pristine).constData(), &d.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      sqlite3_exec(d.db, setUp.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
    return split;
  QString match = QStringLiteral("x.ID = p.ID");
  for (const QString& c : sqlColumn(pristine, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table)))
    match += QStringLiteral(" AND x.\"%1\" IS p.\"%1\"").arg(c);
  const QString inDb = QStringLiteral("EXISTS (SELECT 1 FROM d.%1 x WHERE %2)").arg(table, match);
  const QString inArchive = QStringLiteral("EXISTS (SELECT 1 FROM a.%1 x WHERE %2)").arg(table, match);
  auto count = [&](const QString& where) {
    return scalar(d.db, QStringLiteral("SELECT count(*) FROM main.%1 p WHERE %2").arg(table, where));
  };
  split = {
      count(inDb + " AND NOT " + inArchive), count(inArchive + " AND NOT " + inDb), count(inDb + " AND " + inArchive),
      count("NOT " + inDb + " AND NOT " + inArchive),
      scalar(d.db, QStringLiteral("SELECT count(*) FROM d.%1 x WHERE NOT EXISTS (SELECT 1 FROM main.%1 p WHERE %2)")
                       .arg(table, match))};
  return split;
}

}  // namespace test
