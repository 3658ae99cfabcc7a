// Today's date and the current local time, through a seam tests can set.
#pragma once

#include <functional>

#include <QDate>
#include <QDateTime>

namespace sysclock {

// The current local date and time.
QDateTime now();

// The current local date.
QDate today();

// Replaces the clock; an empty function restores the system clock.
void setClock(std::function<QDateTime()> clock);

}  // namespace sysclock
