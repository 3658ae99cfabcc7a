// The application-wide mouse pointer.
#include "platform/mouse_pointer.h"

#include <QApplication>
#include <QCursor>

namespace pointer {
namespace {
int g_shape = vbDefault;
}

void setMousePointer(int shape) {
  if (shape == vbDefault) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  } else if (shape == vbHourglass) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  g_shape = shape;
}

int mousePointer() { return g_shape; }

}  // namespace pointer
