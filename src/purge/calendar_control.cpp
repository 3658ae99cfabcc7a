// The removal-date calendar of the main window.
#include "purge/calendar_control.h"

#include <QToolButton>

#include "platform/core/locale_dates.h"
#include "platform/ui/layout.h"

CalendarControl::CalendarControl(QWidget* parent) : QCalendarWidget(parent) {
  setGridVisible(true);
  setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  // A font of its own, like every other control of the window: the
  // desktop's font at 12 pt or more cut the last row and the day names off
  // the calendar's fixed box.
  setFont(layout::msSansSerif(8.25));
  setAccessibleName(QStringLiteral("Removal date"));
  setAccessibleDescription(QStringLiteral("Everything before the selected Date will be removed from the database."));
  if (auto* previous = findChild<QToolButton*>(QStringLiteral("qt_calendar_prevmonth")))
    previous->setAccessibleName(QStringLiteral("Previous month"));
  if (auto* next = findChild<QToolButton*>(QStringLiteral("qt_calendar_nextmonth")))
    next->setAccessibleName(QStringLiteral("Next month"));
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
