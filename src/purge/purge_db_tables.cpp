// The table purges.
#include "purge/purge_db_tables.h"

#include <QRegularExpression>

#include "data/connection.h"
#include "data/dbquery.h"
#include "data/msgbox_.h"
#include "platform/core/locale_dates.h"
#include "platform/core/runtime_error.h"
#include "platform/ui/msgbox.h"
#include "purge/checked_state.h"
#include "purge/purge_archive.h"
#include "purge/purge_date_guard.h"

namespace {

// The cut-off as the statements embed it: "#" + the short date + "#".
QString dateLiteral(const QDate& cutOffDate) {
  return QLatin1Char('#') + locale_dates::dateToText(cutOffDate) + QLatin1Char('#');
}

// The number in column `alias` of the first row of `query`; -1 when the
// query fails or gives no row.
qint64 countOf(const QString& dbPath, const QString& query, const QString& alias) {
  RecordsetRef rs;
  QString desc;
  int32_t num = 0;
  qint64 n = -1;
  if (OpenRecordset(dbPath, query, rs, desc, num) && !rs->eof()) {
    db::Field field;
    if (rs->field(alias, field).ok()) n = field.value.toLongLong();
  }
  CloseRecordset(rs);
  return n;
}

// The report of the run under way, if any.
UnreadableDateReport* g_report = nullptr;

// The last purge's count of rows kept for an unreadable date, by table.
std::optional<std::pair<QString, qint64>> g_lastUnreadableCount;

// The box that tells the lines of rows kept for an unreadable date.
void tellUnreadableDates(const QStringList& lines) {
  MsgBox(lines.join(vbCr) + vbCr + vbCr +
             QStringLiteral("Dates are read in the form YYYY-MM-DD, with an optional time HH:MM:SS."),
         vbExclamation);
}

// Tells the operator of rows kept because their date could not be read, so
// that old history left in the table is never a surprise: through the run's
// report, else in a box of its own. Silent when there are none or they
// cannot be counted; the purge's own result stands.
void reportUnreadableDates(const QString& dbPath, const TablePurgePlan& purge) {
  const QString& table = purge.table;
  const qint64 kept = countUnreadableDates(dbPath, purge);
  g_lastUnreadableCount.emplace(table, kept);
  if (kept <= 0) return;
  const QString field = purge.dateColumn.mid(1, purge.dateColumn.size() - 2);
  const QString told =
      kept == 1 ? QStringLiteral("1 row of the %1 table was kept because its %2 could not be read as a date.")
                      .arg(table, field)
                : QStringLiteral("%1 rows of the %2 table were kept because their %3 could not be read as a date.")
                      .arg(QString::number(kept), table, field);
  if (g_report)
    g_report->add(told);
  else
    tellUnreadableDates({told});
}

// The shared sequence of the purges, under one error trap: plan the
// delete, build the statement, run it, tell a failure under its header;
// after a statement that ran, tell of rows kept for an unreadable date.
bool purgeTable(const QString& dbPath, ShopTable table, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  const QString header = QStringLiteral("Failed to purge %1 table...").arg(shopTableName(table));
  bool result = false;
  // The delete and the counts after it compare dates under the guard.
  const purge_guard::DateGuardScope guard;
  g_lastUnreadableCount.reset();
  const auto error = trapErrors([&] {
    const TablePurgePlan purge = planTablePurge(table, dbPath, cutOffDate);
    const qint64 changedBefore = db::changedRowsSoFar();
    if (const archive::ArchiveScope* scope = archive::ArchiveScope::current()) {
      // The rows go into the archive in the delete's own transaction.
      const Status archived = archive::archiveAndDelete(*scope, purge);
      errNum = archived.number();
      errDesc = archived.description();
      result = archived.ok();
    } else {
      result = ExecuteSql(dbPath, BuildDeleteSql(purge.table, purge.condition, false), errDesc, errNum);
    }
    if (!result) ShowProcessFailed(errDesc, header, QString());
    // A statement that removed rows committed once; one that removed none
    // wrote nothing.
    if (result && db::changedRowsSoFar() > changedBefore && CheckedStateScope::current())
      CheckedStateScope::current()->ownCommit();
    if (result) reportUnreadableDates(dbPath, purge);
  });
  if (error) ShowProcessFailed(error->description, header, QString());
  return result;
}

// A table whose rows go by their [Date] alone, or by it and `keptFilter`.
TablePurgePlan datedPlan(const QString& table, const QString& keptFilter, const QDate& cutOffDate) {
  const QString prefix = keptFilter.isEmpty() ? QString() : keptFilter + QStringLiteral(" And ");
  return TablePurgePlan{table, prefix + QStringLiteral("[Date] < ") + dateLiteral(cutOffDate), QStringLiteral("[Date]"),
                        keptFilter};
}

// Contacts last contacted before the cut-off without an AR value, and
// contacts never contacted, sparing the default ship-from contact.
TablePurgePlan contactsPlan(const QString& dbPath, const QDate& cutOffDate) {
  const QString table = QStringLiteral("Contacts");
  QString shipFromId;
  QString scratchDesc;
  int32_t scratchNum = 0;
  const QString date = dateLiteral(cutOffDate);
  const QString lastContact = QStringLiteral("[LastContactDate]");
  if (GetDefaultShipFrom(dbPath, shipFromId, scratchDesc, scratchNum)) {
    // Only the number that the test read reaches the statement, so a
    // text such as "12 Or 1=1" cannot widen the delete.
    const QString spared = QStringLiteral(" And [ID] <> ") + leadingPositiveNumber(shipFromId);
    return TablePurgePlan{table,
                          QStringLiteral("((LastContactDate < ") + date +
                              QStringLiteral(" And AR Is Null) Or LastContactDate Is Null)") + spared,
                          lastContact, QStringLiteral("AR Is Null") + spared};
  }
  return TablePurgePlan{
      table,
      QStringLiteral("(LastContactDate < ") + date + QStringLiteral(" And AR Is Null) Or LastContactDate Is Null"),
      lastContact, QStringLiteral("AR Is Null")};
}

}  // namespace

UnreadableDateReport::UnreadableDateReport() : m_outer(g_report) { g_report = this; }

UnreadableDateReport::~UnreadableDateReport() { g_report = m_outer; }

void UnreadableDateReport::tell() {
  if (m_lines.isEmpty()) return;
  const QStringList lines = m_lines;
  m_lines.clear();
  tellUnreadableDates(lines);
}

QString leadingPositiveNumber(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^[ \\t]*\\+?0*(\\d+)(?:\\.(\\d*))?"));
  const QRegularExpressionMatch m = number.match(text);
  if (!m.hasMatch()) return QString();
  const QString whole = m.captured(1);
  QString fraction = m.captured(2);
  while (fraction.endsWith(QLatin1Char('0'))) fraction.chop(1);
  const bool zeroWhole = whole.count(QLatin1Char('0')) == whole.size();
  if (zeroWhole && fraction.isEmpty()) return QString();
  return fraction.isEmpty() ? whole : whole + QLatin1Char('.') + fraction;
}

QString shopTableName(ShopTable table) {
  switch (table) {
    case ShopTable::Contacts:
      return QStringLiteral("Contacts");
    case ShopTable::InvoiceNumbers:
      return QStringLiteral("InvoiceNumbers");
    case ShopTable::Payments:
      return QStringLiteral("Payments");
    case ShopTable::Transactions:
      return QStringLiteral("Transactions");
    case ShopTable::Manifest:
      return QStringLiteral("Manifest");
  }
  return QString();
}

TablePurgePlan planTablePurge(ShopTable table, const QString& dbPath, const QDate& cutOffDate) {
  const QString cash = QStringLiteral("AcctNum = 'Cash'");
  switch (table) {
    case ShopTable::Contacts:
      return contactsPlan(dbPath, cutOffDate);
    case ShopTable::Payments:
    case ShopTable::Transactions:
      return datedPlan(shopTableName(table), cash, cutOffDate);
    case ShopTable::InvoiceNumbers:
    case ShopTable::Manifest:
      break;
  }
  return datedPlan(shopTableName(table), QString(), cutOffDate);
}

qint64 countTableRows(const QString& dbPath, const TablePurgePlan& plan) {
  return countOf(dbPath, QStringLiteral("Select Count(*) As Counted From [%1]").arg(plan.table),
                 QStringLiteral("Counted"));
}

qint64 countPurgeableRows(const QString& dbPath, const TablePurgePlan& plan) {
  const purge_guard::DateGuardScope guard;
  return countOf(dbPath,
                 QStringLiteral("Select Count(*) As Counted From [%1] Where %2").arg(plan.table, plan.condition),
                 QStringLiteral("Counted"));
}

// The first count reads the date column alone, so an index on it answers
// without touching the table; only when it finds such rows does the second
// one look at the rest of the condition.
qint64 countUnreadableDates(const QString& dbPath, const TablePurgePlan& plan) {
  const purge_guard::DateGuardScope guard;
  const QString unreadable =
      QStringLiteral("Select Count(*) As Kept From [%1] Where %2(%3)")
          .arg(plan.table, QString::fromLatin1(purge_guard::kUnreadableDateFunction), plan.dateColumn);
  const qint64 n = countOf(dbPath, unreadable, QStringLiteral("Kept"));
  if (n <= 0 || plan.keptFilter.isEmpty()) return n;
  return countOf(dbPath, unreadable + QStringLiteral(" And ") + plan.keptFilter, QStringLiteral("Kept"));
}

std::optional<qint64> takeUnreadableDateCount(const QString& table) {
  std::optional<std::pair<QString, qint64>> last;
  last.swap(g_lastUnreadableCount);
  if (!last || last->first != table) return std::nullopt;
  return last->second;
}

bool PurgeInvoiceNumbers(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeTable(dbPath, ShopTable::InvoiceNumbers, cutOffDate, errDesc, errNum);
}

bool PurgePayments(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeTable(dbPath, ShopTable::Payments, cutOffDate, errDesc, errNum);
}

bool PurgeTransactions(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeTable(dbPath, ShopTable::Transactions, cutOffDate, errDesc, errNum);
}

bool PurgeManifest(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeTable(dbPath, ShopTable::Manifest, cutOffDate, errDesc, errNum);
}

bool GetDefaultShipFrom(const QString& dbPath, QString& shipFromId, QString& errDesc, int32_t& errNum) {
  shipFromId.clear();
  RecordsetRef rs;
  Status read;
  const auto error = trapErrors([&] {
    rs = std::make_unique<Recordset>();
    if (OpenRecordset(dbPath, QStringLiteral("Select DefaultShipFrom From Setup"), rs, errDesc, errNum) && !rs->eof()) {
      db::Field field;
      read = rs->field(QStringLiteral("DefaultShipFrom"), field);
      if (read.ok()) shipFromId = GetFieldValue(field, QStringLiteral("0")).toString();
    }
  });
  if (error || !read.ok())
    ShowProcessFailed(error ? error->description : read.description(),
                      QStringLiteral("Failed to read DefaultShipFrom field from Setup table..."), QString());
  const bool result = !leadingPositiveNumber(shipFromId).isEmpty();
  CloseRecordset(rs);
  return result;
}

bool PurgeContacts(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeTable(dbPath, ShopTable::Contacts, cutOffDate, errDesc, errNum);
}
