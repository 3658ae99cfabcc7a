// Dates written in the user's short date format and read back, across locales.
#include <gtest/gtest.h>

#include <QLocale>

#include "platform/core/locale_dates.h"
#include "support/test_helpers.h"

namespace {

using locale_dates::dateTimeToText;
using locale_dates::dateToText;
using locale_dates::IsDate;
using locale_dates::parseDate;

using test::LocaleScope;

const char* const kLocales[] = {"en_US", "en_GB", "de_DE", "ja_JP", "C", "hu_HU", "ko_KR", "bg_BG", "ar_EG"};

TEST(ShortDateFormat, NormalisedPatterns) {
  struct Case {
    const char* locale;
    const char* format;
    bool dayFirst;
  };
  const Case cases[] = {
      {"en_US", "M/d/yyyy", false},   {"en_GB", "dd/MM/yyyy", true}, {"de_DE", "dd.MM.yyyy", true},
      {"ja_JP", "yyyy/MM/dd", false}, {"C", "yyyy-MM-dd", false},    {"nl_NL", "dd-MM-yyyy", true},
  };
  for (const Case& c : cases) {
    LocaleScope scope(c.locale);
    EXPECT_EQ(locale_dates::shortDateFormat(), QString::fromLatin1(c.format)) << c.locale;
    EXPECT_EQ(locale_dates::dayBeforeMonth(), c.dayFirst) << c.locale;
  }
}

TEST(ShortDateFormat, WritesFourDigitYearsAndAsciiDigits) {
  const QDate d(2004, 3, 5);
  struct Case {
    const char* locale;
    const char* text;
  };
  const Case cases[] = {{"en_US", "3/5/2004"},
                        {"en_GB", "05/03/2004"},
                        {"de_DE", "05.03.2004"},
                        {"ja_JP", "2004/03/05"},
                        {"C", "2004-03-05"}};
  for (const Case& c : cases) {
    LocaleScope scope(c.locale);
    EXPECT_EQ(dateToText(d), QString::fromLatin1(c.text)) << c.locale;
  }
  LocaleScope arabic("ar_EG");
  const QString text = dateToText(d);
  for (QChar ch : text) EXPECT_LT(ch.unicode(), 128) << "non-ASCII in " << text.toStdString();
}

TEST(ShortDateFormat, TimeOfDayIsAddedOnlyWhenPresent) {
  LocaleScope scope("en_GB");
  EXPECT_EQ(dateTimeToText(QDateTime(QDate(2004, 3, 5), QTime(0, 0))), QStringLiteral("05/03/2004"));
  EXPECT_EQ(dateTimeToText(QDateTime(QDate(2004, 3, 5), QTime(23, 59, 59))), QStringLiteral("05/03/2004 23:59:59"));
  EXPECT_EQ(dateToText(QDate()), QString());
}

TEST(DateRoundTrip, EveryDayOfALeapYearAndFarYearsInEachLocale) {
  QList<QDate> dates;
  for (QDate d(2004, 1, 1); d.year() == 2004; d = d.addDays(1)) dates << d;
  dates << QDate(1753, 1, 1) << QDate(1900, 2, 28) << QDate(1929, 12, 31) << QDate(1930, 1, 1) << QDate(2029, 6, 30)
        << QDate(2099, 12, 31) << QDate(9999, 12, 31) << QDate(100, 1, 1);
  for (const char* name : kLocales) {
    LocaleScope scope(name);
    for (const QDate& d : dates) {
      const QString text = dateToText(d);
      const auto back = parseDate(text);
      ASSERT_TRUE(back.has_value()) << name << " " << text.toStdString();
      EXPECT_EQ(back->date, d) << name << " " << text.toStdString();
      EXPECT_FALSE(back->hasTime);
    }
    const QDateTime withTime(QDate(2004, 2, 29), QTime(13, 7, 9));
    const auto back = parseDate(dateTimeToText(withTime));
    ASSERT_TRUE(back.has_value()) << name;
    EXPECT_TRUE(back->hasTime);
    EXPECT_EQ(back->toDateTime(), withTime) << name;
  }
}

TEST(DateReading, FieldOrderFollowsTheLocale) {
  struct Case {
    const char* locale;
    const char* text;
    QDate expected;
  };
  const Case cases[] = {
      {"en_GB", "05/03/2004", QDate(2004, 3, 5)},   {"de_DE", "05/03/2004", QDate(2004, 3, 5)},
      {"en_US", "05/03/2004", QDate(2004, 5, 3)},   {"de_DE", "5.3.04", QDate(2004, 3, 5)},
      {"en_US", "3/5/04", QDate(2004, 3, 5)},       {"en_US", "2004-03-05", QDate(2004, 3, 5)},
      {"en_GB", "2004.3.5", QDate(2004, 3, 5)},     {"ja_JP", "04/03/05", QDate(2004, 3, 5)},
      {"ja_JP", "3/5/2004", QDate(2004, 3, 5)},     {"en_GB", "5 3 2004", QDate(2004, 3, 5)},
      {"en_GB", "05/03/29", QDate(2029, 3, 5)},     {"en_GB", "05/03/30", QDate(1930, 3, 5)},
      {"en_GB", "05/03/00", QDate(2000, 3, 5)},     {"en_GB", "05/03/99", QDate(1999, 3, 5)},
      {"en_GB", " 05/03/2004 ", QDate(2004, 3, 5)}, {"hu_HU", "2004. 03. 05", QDate(2004, 3, 5)},
      {"en_GB", "05/03/0999", QDate(999, 3, 5)},
  };
  for (const Case& c : cases) {
    LocaleScope scope(c.locale);
    const auto d = parseDate(QString::fromLatin1(c.text));
    ASSERT_TRUE(d.has_value()) << c.locale << " " << c.text;
    EXPECT_EQ(d->date, c.expected) << c.locale << " " << c.text;
  }
}

TEST(DateReading, TimeOfDay) {
  LocaleScope scope("en_US");
  auto d = parseDate(QStringLiteral("3/5/2004 23:59"));
  ASSERT_TRUE(d.has_value());
  EXPECT_TRUE(d->hasTime);
  EXPECT_EQ(d->time, QTime(23, 59, 0));
  d = parseDate(QStringLiteral("3/5/2004 7:05:09"));
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->time, QTime(7, 5, 9));
}

TEST(DateReading, TextsThatAreNotDates) {
  const char* const texts[] = {"31/02/2004",     "13/13/2004",  "",           "abc",         "1/2",
                               "00/01/2004",     "1/2/3/4",     "5/3/2004x",  "5//3/2004",   "5/3/2004 24:00",
                               "5/3/2004 12:60", "5/3/2004 12", "2004-02-30", "05/03/00000", "005/03/2004",
                               "5/3/0000",       "29/02/2003",  "-5/3/2004"};
  for (const char* name : {"en_GB", "de_DE", "en_US", "C"}) {
    LocaleScope scope(name);
    for (const char* t : texts) {
      EXPECT_FALSE(IsDate(QString::fromLatin1(t))) << name << " '" << t << "'";
    }
  }
  EXPECT_FALSE(locale_dates::textToDate(QStringLiteral("31/02/2004")).isValid());
  LocaleScope us("en_US");
  EXPECT_EQ(locale_dates::textToDate(QStringLiteral("12/31/2004 10:00")), QDate(2004, 12, 31));
  EXPECT_FALSE(IsDate(QStringLiteral("31/12/2004")));  // month 31 first in this locale
  EXPECT_TRUE(IsDate(QStringLiteral("12/31/2004")));
}

}  // namespace
