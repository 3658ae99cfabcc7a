// Pieces of SQL the archive's statements share.
#include "purge/archive_sql.h"

namespace archive {

const std::vector<ShopTable>& archivedTables() {
  static const std::vector<ShopTable> tables = {ShopTable::Contacts, ShopTable::InvoiceNumbers, ShopTable::Payments,
                                                ShopTable::Transactions, ShopTable::Manifest};
  return tables;
}

QString bracketed(const QString& name) { return QLatin1Char('[') + name + QLatin1Char(']'); }

QString sqlText(const QString& text) {
  QString quoted = text;
  quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString columnList(const QStringList& columns, const QString& alias) {
  QStringList out;
  const QString prefix = alias.isEmpty() ? QString() : alias + QLatin1Char('.');
  for (const QString& c : columns) out << prefix + bracketed(c);
  return out.join(QStringLiteral(", "));
}

QString sameRow(const QStringList& columns, const QString& a, const QString& b) {
  QStringList terms{QStringLiteral("%1.[ID] = %2.[ID]").arg(a, b)};
  for (const QString& c : columns) terms << QStringLiteral("%1.%3 Is %2.%3").arg(a, b, bracketed(c));
  return terms.join(QStringLiteral(" And "));
}

}  // namespace archive
