// The removal-date calendar of the main window: a month calendar that hands
// the purge run the selected date as two day-and-month parts and a year.
#pragma once

#include <cstdint>

#include <QCalendarWidget>

class CalendarControl : public QCalendarWidget {
  Q_OBJECT

 public:
  explicit CalendarControl(QWidget* parent = nullptr);

  // The day and the month of the selected date, in the order in which the
  // user's short date format writes them: "first/second/year" then reads
  // back as the selected date.
  virtual int16_t firstPart() const;
  virtual int16_t secondPart() const;
  virtual int16_t yearPart() const;
};
