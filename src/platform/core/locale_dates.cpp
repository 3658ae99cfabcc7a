// The user's short date format: writing dates as text and reading them back.
#include "platform/core/locale_dates.h"

#include <QLocale>
#include <QRegularExpression>

namespace locale_dates {
namespace {

// One field of the normalised pattern: 'd', 'M' or 'y', and its width.
struct PatternField {
  QChar letter;
  int width = 0;
};

// The normalised pattern as three fields and the two separators between them.
struct Pattern {
  PatternField fields[3];
  QString separators[2];
};

bool isSeparatorChar(QChar c) {
  return c == QLatin1Char('/') || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char(' ');
}

// Keeps what the reader accepts between two fields: one of "/-." optionally
// followed by one space, or a single space. Anything else becomes "/".
QString cleanSeparator(const QString& raw) {
  QString kept;
  for (QChar c : raw)
    if (isSeparatorChar(c)) kept += c;
  static const QRegularExpression ok(QStringLiteral("^(?:[/.\\-] ?| )$"));
  if (ok.match(kept).hasMatch()) return kept;
  if (!kept.isEmpty() && kept.at(0) != QLatin1Char(' ')) return kept.left(1);
  if (kept.contains(QLatin1Char(' '))) return QStringLiteral(" ");
  return QStringLiteral("/");
}

Pattern isoPattern() {
  Pattern p;
  p.fields[0] = {QLatin1Char('y'), 4};
  p.fields[1] = {QLatin1Char('M'), 2};
  p.fields[2] = {QLatin1Char('d'), 2};
  p.separators[0] = p.separators[1] = QStringLiteral("-");
  return p;
}

// Reads the user's short date pattern into three numeric fields. Quoted
// text, weekday names and any other letters are dropped; a pattern that does
// not hold exactly one day, month and year falls back to year-month-day.
Pattern currentPattern() {
  const QLocale locale;
  if (locale.language() == QLocale::C) return isoPattern();
  const QString raw = locale.dateFormat(QLocale::ShortFormat);

  Pattern p;
  int count = 0;
  QString pending;  // literal text since the previous field
  bool seen[3] = {false, false, false};
  for (qsizetype i = 0; i < raw.size();) {
    const QChar c = raw.at(i);
    if (c == QLatin1Char('\'')) {  // quoted literal text
      qsizetype j = raw.indexOf(QLatin1Char('\''), i + 1);
      if (j < 0) j = raw.size();
      i = j + 1;
      continue;
    }
    qsizetype j = i;
    while (j < raw.size() && raw.at(j) == c) ++j;
    const int run = int(j - i);
    const bool dayField = c == QLatin1Char('d') && run <= 2;
    const bool monthField = c == QLatin1Char('M');
    const bool yearField = c == QLatin1Char('y');
    if (dayField || monthField || yearField) {
      const int slot = dayField ? 0 : monthField ? 1 : 2;
      if (seen[slot] || count == 3) return isoPattern();
      seen[slot] = true;
      if (count > 0) p.separators[count - 1] = cleanSeparator(pending);
      const int width = yearField ? 4 : (run >= 2 ? 2 : 1);
      p.fields[count++] = {c, width};
      pending.clear();
    } else if (!c.isLetter()) {
      pending += raw.mid(i, run);
    }
    i = j;
  }
  if (count != 3) return isoPattern();
  return p;
}

QString fieldText(const PatternField& f, const QDate& date) {
  const int value = f.letter == QLatin1Char('y')   ? date.year()
                    : f.letter == QLatin1Char('M') ? date.month()
                                                   : date.day();
  return QStringLiteral("%1").arg(value, f.width, 10, QLatin1Char('0'));
}

int expandYear(const QString& digits) {
  const int y = digits.toInt();
  if (digits.size() <= 2) return y < 30 ? 2000 + y : 1900 + y;
  return y;
}

}  // namespace

QString shortDateFormat() {
  const Pattern p = currentPattern();
  QString out;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) out += p.separators[i - 1];
    out += QString(p.fields[i].width, p.fields[i].letter);
  }
  return out;
}

bool dayBeforeMonth() {
  const Pattern p = currentPattern();
  for (const PatternField& f : p.fields) {
    if (f.letter == QLatin1Char('d')) return true;
    if (f.letter == QLatin1Char('M')) return false;
  }
  return false;
}

QString dateToText(const QDate& date) {
  if (!date.isValid()) return QString();
  const Pattern p = currentPattern();
  return fieldText(p.fields[0], date) + p.separators[0] + fieldText(p.fields[1], date) + p.separators[1] +
         fieldText(p.fields[2], date);
}

QString dateTimeToText(const QDateTime& dateTime) {
  const QString day = dateToText(dateTime.date());
  if (day.isEmpty()) return day;
  const QTime t = dateTime.time();
  if (!t.isValid() || t == QTime(0, 0)) return day;
  return day + QLatin1Char(' ') + t.toString(QStringLiteral("HH:mm:ss"));
}

std::optional<ParsedDate> parseDate(const QString& text) {
  static const QRegularExpression shape(
      QStringLiteral("^(\\d{1,4})(?:[/.\\-] ?| )(\\d{1,4})(?:[/.\\-] ?| )(\\d{1,4})"
                     "(?: +(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
  const QRegularExpressionMatch m = shape.match(text.trimmed());
  if (!m.hasMatch()) return std::nullopt;
  const QString a = m.captured(1), b = m.captured(2), c = m.captured(3);

  QString dayText, monthText, yearText;
  if (a.size() == 4) {
    yearText = a, monthText = b, dayText = c;
  } else if (c.size() >= 3) {
    yearText = c;
    if (dayBeforeMonth())
      dayText = a, monthText = b;
    else
      monthText = a, dayText = b;
  } else {
    const Pattern p = currentPattern();
    const QString parts[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
      const QChar l = p.fields[i].letter;
      (l == QLatin1Char('y') ? yearText : l == QLatin1Char('M') ? monthText : dayText) = parts[i];
    }
  }
  // Day and month never take more than two digits; the year field is read
  // as given (two digits or fewer through the century window).
  if (dayText.size() > 2 || monthText.size() > 2) return std::nullopt;
  const int year = expandYear(yearText);
  if (year < 1 || year > 9999) return std::nullopt;
  const QDate date(year, monthText.toInt(), dayText.toInt());
  if (!date.isValid()) return std::nullopt;

  ParsedDate out;
  out.date = date;
  out.time = QTime(0, 0);
  if (m.hasCaptured(4)) {
    const int h = m.captured(4).toInt(), mi = m.captured(5).toInt();
    const int s = m.hasCaptured(6) ? m.captured(6).toInt() : 0;
    if (h > 23 || mi > 59 || s > 59) return std::nullopt;
    out.time = QTime(h, mi, s);
    out.hasTime = true;
  }
  return out;
}

bool IsDate(const QString& text) { return parseDate(text).has_value(); }

QDate textToDate(const QString& text) {
  const auto parsed = parseDate(text);
  return parsed ? parsed->date : QDate();
}

}  // namespace locale_dates
