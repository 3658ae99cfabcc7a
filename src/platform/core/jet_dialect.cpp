// Translates the shop database's statement dialect into SQLite's.
#include "platform/core/jet_dialect.h"

#include "platform/core/locale_dates.h"

namespace jet {

Status translate(const QString& statement, QString& out, std::vector<DateLiteral>* literals) {
  out.clear();
  if (literals) literals->clear();
  QString result;
  result.reserve(statement.size() + 128);
  const qsizetype n = statement.size();
  for (qsizetype i = 0; i < n;) {
    const QChar c = statement.at(i);
    if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[')) {
      // Quoted text and bracketed names pass whole ('' and "" stay inside).
      const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
      qsizetype j = statement.indexOf(close, i + 1);
      if (j < 0) j = n - 1;
      result += statement.mid(i, j - i + 1);
      i = j + 1;
      continue;
    }
    if (c == QLatin1Char('#')) {
      const qsizetype j = statement.indexOf(QLatin1Char('#'), i + 1);
      if (j < 0 && literals) literals->clear();
      if (j < 0)
        return Status::Error(kErrDateLiteral,
                             QStringLiteral("Unterminated date literal in the statement: %1").arg(statement.mid(i)));
      const QString inner = statement.mid(i + 1, j - i - 1);
      const auto parsed = locale_dates::parseDate(inner);
      if (!parsed && literals) literals->clear();
      if (!parsed)
        return Status::Error(kErrDateLiteral, QStringLiteral("Invalid date literal in the statement: #%1#").arg(inner));
      const QDate d = parsed->date;
      QString literal = QStringLiteral("%1-%2-%3")
                            .arg(d.year(), 4, 10, QLatin1Char('0'))
                            .arg(d.month(), 2, 10, QLatin1Char('0'))
                            .arg(d.day(), 2, 10, QLatin1Char('0'));
      if (parsed->hasTime && parsed->time != QTime(0, 0))
        literal += QLatin1Char(' ') + parsed->time.toString(QStringLiteral("HH:mm:ss"));
      if (literals) literals->push_back(DateLiteral{result.size(), literal.size() + 2});
      result += QLatin1Char('\'') + literal + QLatin1Char('\'');
      i = j + 1;
      continue;
    }
    result += c;
    ++i;
  }
  out = result;
  return Status::Ok();
}

}  // namespace jet
