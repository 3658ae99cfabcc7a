// The user's short date format: writing dates as text and reading them back,
// the way the system converts dates for the operator and for statements.
#pragma once

#include <optional>

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace locale_dates {

// The user's short date pattern (QLocale()), normalised: the year always has
// four digits, a month name becomes the month number, only the day, month
// and year fields remain. The C/POSIX locale gives "yyyy-MM-dd".
QString shortDateFormat();

// True when the user's pattern puts the day before the month.
bool dayBeforeMonth();

// A date in the short date format, ASCII digits. An invalid date gives "".
QString dateToText(const QDate& date);

// A date-time: the date as above, followed by " HH:mm:ss" when it carries a
// time of day other than midnight.
QString dateTimeToText(const QDateTime& dateTime);

// What a date text held: the date, and the time of day when one was given.
struct ParsedDate {
  QDate date;
  QTime time;  // midnight when hasTime is false
  bool hasTime = false;
  QDateTime toDateTime() const { return QDateTime(date, time); }
};

// Reads a date text: three numeric fields separated by "/", "-", "." or a
// space (optionally followed by one space), then optionally " HH:mm[:ss]".
// A first field of four digits is year-month-day; a last field of three or
// four digits is the year, the first two being day and month in the order of
// the user's pattern; otherwise the fields follow the user's pattern. Years
// of two digits: 0-29 are 2000-2029, 30-99 are 1930-1999. Returns nothing
// for an empty text, out-of-range fields or anything else.
std::optional<ParsedDate> parseDate(const QString& text);

// The date that parseDate reads (any time of day dropped); an invalid QDate
// when `text` is not a date.
QDate textToDate(const QString& text);

// True when parseDate reads `text`.
bool IsDate(const QString& text);
inline bool isDate(const QString& text) { return IsDate(text); }

}  // namespace locale_dates
