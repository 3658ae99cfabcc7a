// Today's date and the current local time, through a seam tests can set.
#include "platform/core/clock.h"

namespace sysclock {
namespace {
std::function<QDateTime()>& clockFn() {
  static std::function<QDateTime()> fn;
  return fn;
}
}  // namespace

QDateTime now() { return clockFn() ? clockFn()() : QDateTime::currentDateTime(); }
QDate today() { return now().date(); }
void setClock(std::function<QDateTime()> clock) { clockFn() = std::move(clock); }

}  // namespace sysclock
