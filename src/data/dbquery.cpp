// The text of delete statements.
#include "data/dbquery.h"

QString BuildDeleteSql(const QString& tableName, const QString& condition, bool quoteDates) {
  const QString head = QStringLiteral("Delete From [") + tableName + QLatin1Char(']');
  if (condition.isEmpty()) return head;
  QString where = condition;
  if (quoteDates) where.replace(QLatin1Char('#'), QLatin1Char('\''));
  return head + QStringLiteral(" Where ") + where;
}
