// The application-wide mouse pointer.
#include "platform/ui/mouse_pointer.h"

#include <QApplication>
#include <QCursor>

namespace pointer {

void setMousePointer(int shape) {
  if (shape == vbDefault) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  } else if (shape == vbHourglass) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
}

}  // namespace pointer
