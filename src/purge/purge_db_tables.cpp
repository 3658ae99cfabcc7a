// Module PurgeDB, table purges.
#include "purge/purge_db_tables.h"

#include <QRegularExpression>

#include "data/connection.h"
#include "data/dbquery.h"
#include "data/msgbox_.h"
#include "platform/locale_dates.h"
#include "platform/runtime_error.h"

namespace {

// The cut-off as the statements embed it: "#" + the short date + "#".
QString dateLiteral(const QDate& cutOffDate) {
  return QLatin1Char('#') + locale_dates::dateToText(cutOffDate) + QLatin1Char('#');
}

// The shared sequence of the purges, under one error trap: build the
// condition, build the statement, run it, tell a failure under `header`.
template <class BuildCondition>
bool purgeTable(const QString& dbPath, const QString& table, BuildCondition&& buildCondition, QString& errDesc,
                int32_t& errNum) {
  const QString header = QStringLiteral("Failed to purge %1 table...").arg(table);
  bool result = false;
  const auto error = trapErrors([&] {
    const QString statement = BuildDeleteSql(table, buildCondition(), false);
    result = ExecuteSql(dbPath, statement, errDesc, errNum);
    if (!result) ShowProcessFailed(errDesc, header, QString());
  });
  if (error) ShowProcessFailed(error->description, header, QString());
  return result;
}

bool purgeDated(const QString& dbPath, const QString& table, const QString& prefix, const QDate& cutOffDate,
                QString& errDesc, int32_t& errNum) {
  return purgeTable(
      dbPath, table, [&] { return prefix + locale_dates::dateToText(cutOffDate) + QLatin1Char('#'); }, errDesc,
      errNum);
}

}  // namespace

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

bool PurgeInvoiceNumbers(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeDated(dbPath, QStringLiteral("InvoiceNumbers"), QStringLiteral("[Date] < #"), cutOffDate, errDesc,
                    errNum);
}

bool PurgePayments(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeDated(dbPath, QStringLiteral("Payments"), QStringLiteral("AcctNum = 'Cash' And [Date] < #"),
                    cutOffDate, errDesc, errNum);
}

bool PurgeTransactions(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeDated(dbPath, QStringLiteral("Transactions"), QStringLiteral("AcctNum = 'Cash' And [Date] < #"),
                    cutOffDate, errDesc, errNum);
}

bool PurgeManifest(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeDated(dbPath, QStringLiteral("Manifest"), QStringLiteral("[Date] < #"), cutOffDate, errDesc, errNum);
}

bool GetDefaultShipFrom(const QString& dbPath, QString& shipFromId, QString& errDesc, int32_t& errNum) {
  shipFromId.clear();
  RecordsetRef rs;
  const auto error = trapErrors([&] {
    rs = std::make_unique<Recordset>();
    if (OpenRecordset(dbPath, QStringLiteral("Select DefaultShipFrom From Setup"), rs, errDesc, errNum) &&
        !rs->eof()) {
      db::Field field;
      rs->field(QStringLiteral("DefaultShipFrom"), field).throwIfError();
      shipFromId = GetFieldValue(field, QStringLiteral("0")).toString();
    }
  });
  if (error)
    ShowProcessFailed(error->description, QStringLiteral("Failed to read DefaultShipFrom field from Setup table..."),
                      QString());
  const bool result = !leadingPositiveNumber(shipFromId).isEmpty();
  CloseRecordset(rs);
  return result;
}

bool PurgeContacts(const QString& dbPath, const QDate& cutOffDate, QString& errDesc, int32_t& errNum) {
  return purgeTable(
      dbPath, QStringLiteral("Contacts"),
      [&] {
        QString shipFromId;
        QString scratchDesc;
        int32_t scratchNum = 0;
        const QString date = dateLiteral(cutOffDate);
        if (GetDefaultShipFrom(dbPath, shipFromId, scratchDesc, scratchNum)) {
          // Only the number that the test read reaches the statement, so a
          // text such as "12 Or 1=1" cannot widen the delete.
          return QStringLiteral("((LastContactDate < ") + date +
                 QStringLiteral(" And AR Is Null) Or LastContactDate Is Null) And [ID] <> ") +
                 leadingPositiveNumber(shipFromId);
        }
        return QStringLiteral("(LastContactDate < ") + date +
               QStringLiteral(" And AR Is Null) Or LastContactDate Is Null");
      },
      errDesc, errNum);
}
