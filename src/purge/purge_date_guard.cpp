// The purge's date guard over the dialect translation, and its SQL function.
#include "purge/purge_date_guard.h"

#include <sqlite3.h>

#include <vector>

#include <QRegularExpression>

#include "platform/core/jet_dialect.h"

namespace purge_guard {
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
  const bool startOk = before == 0 || out.at(before - 1) == QLatin1Char('(') || prevWord == QLatin1String("AND") ||
                       prevWord == QLatin1String("OR") || prevWord == QLatin1String("WHERE");
  static const QRegularExpression after(QStringLiteral("^\\s*($|\\)|(AND|OR)\\b)"),
                                        QRegularExpression::CaseInsensitiveOption);
  const bool endOk = after.match(rest).hasMatch();

  const QString compare = col + QLatin1Char(' ') + op + QLatin1Char(' ') + literal;
  out.truncate(colStart);
  if (plainContext && startOk && endOk)
    out += QLatin1Char('(') + compare + QStringLiteral(" AND ") + isoGuard(col) + QLatin1Char(')');
  else
    out += QStringLiteral("(CASE WHEN ") + isoGuard(col) + QStringLiteral(" THEN ") + compare + QStringLiteral(" END)");
}

// Whether a value reads as a date of the convention, as a GLOB reads it: a
// number by its text, a blob never.
bool readsAsIsoDate(sqlite3_value* value) {
  if (sqlite3_value_type(value) == SQLITE_BLOB) return false;
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return text && isIsoDateText(text, sqlite3_value_bytes(value));
}

// kv_iso_date(value): Null for Null, else 1 when it reads as a date, else 0.
void isoDate(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  sqlite3_result_int(context, readsAsIsoDate(argv[0]) ? 1 : 0);
}

// kv_unreadable_date(value): 1 when the value is not Null and does not read
// as a date, else 0.
void unreadableDate(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_int(context, 0);
  sqlite3_result_int(context, readsAsIsoDate(argv[0]) ? 0 : 1);
}

Status registerDateFunctions(sqlite3* db) {
  constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  int rc = sqlite3_create_function_v2(db, kIsoDateFunction, 1, kFlags, nullptr, isoDate, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, kUnreadableDateFunction, 1, kFlags, nullptr, unreadableDate, nullptr, nullptr,
                                    nullptr);
  if (rc != SQLITE_OK) return Status::Error(rc, QString::fromUtf8(sqlite3_errstr(rc)));
  return Status::Ok();
}

}  // namespace

QString isoGuard(const QString& col) {
  return QString::fromLatin1(kIsoDateFunction) + QLatin1Char('(') + col + QLatin1Char(')');
}

QString isoGuardGlob(const QString& col) {
  static const QString day = QStringLiteral("[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]");
  return QStringLiteral("(%1 GLOB '%2' OR %1 GLOB '%2[ T][0-2][0-9]:[0-5][0-9]*')").arg(col, day);
}

Status guardedTranslate(const QString& statement, QString& sql) {
  sql.clear();
  QString plain;
  std::vector<jet::DateLiteral> literals;
  if (Status s = jet::translate(statement, plain, &literals); !s.ok()) return s;
  // The ISO literals are quoted, so the words that decide the context read
  // the same in the statement and in its translation.
  const bool plainContext = !mayNegate(statement);
  QString result;
  result.reserve(plain.size() + 128 * qsizetype(literals.size()));
  qsizetype done = 0;
  for (const jet::DateLiteral& literal : literals) {
    result += QStringView(plain).mid(done, literal.start - done);
    done = literal.start + literal.length;
    guardComparison(result, plain.mid(literal.start, literal.length), plainContext, plain.mid(done));
  }
  result += QStringView(plain).mid(done);
  sql = result;
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
  return (is(10, ' ') || is(10, 'T')) && in(11, '0', '2') && digit(12) && is(13, ':') && in(14, '0', '5') && digit(15);
}

DateGuardScope::DateGuardScope() : m_rules(db::StatementRules{guardedTranslate, registerDateFunctions}) {}

}  // namespace purge_guard
