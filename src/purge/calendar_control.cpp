// The removal-date calendar of the main window.
#include "purge/calendar_control.h"

#include "platform/locale_dates.h"

CalendarControl::CalendarControl(QWidget* parent) : QCalendarWidget(parent) {
  setGridVisible(true);
  setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  setSelectedDate(QDate::currentDate());
}

int16_t CalendarControl::firstPart() const {
  const QDate d = selectedDate();
  return static_cast<int16_t>(locale_dates::dayBeforeMonth() ? d.day() : d.month());
}

int16_t CalendarControl::secondPart() const {
  const QDate d = selectedDate();
  return static_cast<int16_t>(locale_dates::dayBeforeMonth() ? d.month() : d.day());
}

int16_t CalendarControl::yearPart() const { return static_cast<int16_t>(selectedDate().year()); }
