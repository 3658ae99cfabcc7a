// Translates the shop database's statement dialect into SQLite's.
#include "platform/jet_dialect.h"

#include <QRegularExpression>

#include "platform/locale_dates.h"

namespace jet {
namespace {

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// The word that ends at `end` (exclusive) in `text`, upper-cased.
QString wordBefore(const QString& text, qsizetype end, qsizetype* start) {
  qsizetype s = end;
  while (s > 0 && isWordChar(text.at(s - 1))) --s;
  *start = s;
  return text.mid(s, end - s).toUpper();
}

qsizetype skipSpacesBack(const QString& text, qsizetype end) {
  while (end > 0 && text.at(end - 1).isSpace()) --end;
  return end;
}

// Where the column reference that ends at `end` starts: [name], name, and
// qualified forms joined by '.'; -1 when there is none.
qsizetype columnStart(const QString& text, qsizetype end) {
  qsizetype pos = end;
  for (;;) {
    if (pos == 0) return -1;
    if (text.at(pos - 1) == QLatin1Char(']')) {
      const qsizetype open = text.lastIndexOf(QLatin1Char('['), pos - 1);
      if (open < 0) return -1;
      pos = open;
    } else {
      qsizetype s;
      const QString w = wordBefore(text, pos, &s);
      if (w.isEmpty() || w.at(0).isDigit()) return -1;
      pos = s;
    }
    if (pos > 0 && text.at(pos - 1) == QLatin1Char('.')) {
      --pos;
      continue;
    }
    return pos;
  }
}

// True when the words NOT, CASE or IIF occur outside quotes and brackets:
// then a guarded comparison could be negated and must not merely be false.
bool mayNegate(const QString& s) {
  QString bare;
  QChar close;
  for (QChar c : s) {
    if (!close.isNull()) {
      if (c == close) close = QChar();
      bare += QLatin1Char(' ');
    } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      close = c;
    } else if (c == QLatin1Char('[')) {
      close = QLatin1Char(']');
    } else {
      bare += c;
    }
  }
  static const QRegularExpression words(QStringLiteral("\\b(NOT|CASE|IIF)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
  return words.match(bare).hasMatch();
}

// Places the comparison `column op literal` that ends `out` under the ISO
// guard. In a plain And/Or context the column comparison stays a term of its
// own, so an index on the column serves it; elsewhere a value outside the
// convention makes the comparison Null.
void guardComparison(QString& out, const QString& literal, bool plainContext, const QString& rest) {
  qsizetype p = skipSpacesBack(out, out.size());
  QString op;
  for (const char* candidate : {"<>", "<=", ">=", "!=", "==", "<", ">", "="}) {
    const QString c = QString::fromLatin1(candidate);
    if (out.left(p).endsWith(c)) {
      op = c;
      break;
    }
  }
  if (op.isEmpty()) {
    out += literal;
    return;
  }
  const qsizetype colEnd = skipSpacesBack(out, p - op.size());
  const qsizetype colStart = columnStart(out, colEnd);
  if (colStart < 0) {
    out += literal;
    return;
  }
  const QString col = out.mid(colStart, colEnd - colStart);

  // What stands before the column and after the literal.
  const qsizetype before = skipSpacesBack(out, colStart);
  qsizetype ws;
  const QString prevWord = wordBefore(out, before, &ws);
  const bool startOk = before == 0 || out.at(before - 1) == QLatin1Char('(') ||
                       prevWord == QLatin1String("AND") || prevWord == QLatin1String("OR") ||
                       prevWord == QLatin1String("WHERE");
  static const QRegularExpression after(QStringLiteral("^\\s*($|\\)|(AND|OR)\\b)"),
                                        QRegularExpression::CaseInsensitiveOption);
  const bool endOk = after.match(rest).hasMatch();

  const QString compare = col + QLatin1Char(' ') + op + QLatin1Char(' ') + literal;
  out.truncate(colStart);
  if (plainContext && startOk && endOk)
    out += QLatin1Char('(') + compare + QStringLiteral(" AND ") + isoGuard(col) + QLatin1Char(')');
  else
    out += QStringLiteral("(CASE WHEN ") + isoGuard(col) + QStringLiteral(" THEN ") + compare +
           QStringLiteral(" END)");
}

}  // namespace

QString isoGuard(const QString& col) {
  static const QString day = QStringLiteral("[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]");
  return QStringLiteral("(%1 GLOB '%2' OR %1 GLOB '%2[ T][0-2][0-9]:[0-5][0-9]*')").arg(col, day);
}

Status translate(const QString& statement, QString& out) {
  out.clear();
  const bool plainContext = !mayNegate(statement);
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
      if (j < 0)
        return Status::Error(kErrDateLiteral,
                             QStringLiteral("Unterminated date literal in the statement: %1").arg(statement.mid(i)));
      const QString inner = statement.mid(i + 1, j - i - 1);
      const auto parsed = locale_dates::parseDate(inner);
      if (!parsed)
        return Status::Error(kErrDateLiteral,
                             QStringLiteral("Invalid date literal in the statement: #%1#").arg(inner));
      const QDate d = parsed->date;
      QString literal = QStringLiteral("%1-%2-%3")
                            .arg(d.year(), 4, 10, QLatin1Char('0'))
                            .arg(d.month(), 2, 10, QLatin1Char('0'))
                            .arg(d.day(), 2, 10, QLatin1Char('0'));
      if (parsed->hasTime && parsed->time != QTime(0, 0))
        literal += QLatin1Char(' ') + parsed->time.toString(QStringLiteral("HH:mm:ss"));
      guardComparison(result, QLatin1Char('\'') + literal + QLatin1Char('\''), plainContext,
                      statement.mid(j + 1));
      i = j + 1;
      continue;
    }
    result += c;
    ++i;
  }
  out = result;
  return Status::Ok();
}

bool isIsoDateText(const char* text, int length) {
  auto digit = [&](int i) { return i < length && text[i] >= '0' && text[i] <= '9'; };
  auto in = [&](int i, char lo, char hi) { return i < length && text[i] >= lo && text[i] <= hi; };
  auto is = [&](int i, char c) { return i < length && text[i] == c; };
  const bool day = digit(0) && digit(1) && digit(2) && digit(3) && is(4, '-') && in(5, '0', '1') && digit(6) &&
                   is(7, '-') && in(8, '0', '3') && digit(9);
  if (!day) return false;
  if (length == 10) return true;
  return (is(10, ' ') || is(10, 'T')) && in(11, '0', '2') && digit(12) && is(13, ':') && in(14, '0', '5') &&
         digit(15);
}

}  // namespace jet
