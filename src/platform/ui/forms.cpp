// The program-wide list of loaded windows, the "Tag", centring and repainting.
#include "platform/ui/forms.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

namespace forms {
namespace {
QList<QPointer<QWidget>>& list() {
  static QList<QPointer<QWidget>> windows;
  return windows;
}
void prune() {
  list().removeIf([](const QPointer<QWidget>& w) { return w.isNull(); });
}
}  // namespace

void registerLoaded(QWidget* window) {
  prune();
  for (const auto& w : list())
    if (w == window) return;
  list().append(window);
  QObject::connect(window, &QObject::destroyed, [window] {
    list().removeIf([window](const QPointer<QWidget>& w) { return w.isNull() || w == window; });
  });
}

void unregisterLoaded(QWidget* window) {
  list().removeIf([window](const QPointer<QWidget>& w) { return w.isNull() || w == window; });
}

QList<QWidget*> loaded() {
  prune();
  QList<QWidget*> out;
  for (const auto& w : list()) out.append(w.data());
  return out;
}

QString tag(const QObject* object) { return object->property("Tag").toString(); }

void setTag(QObject* object, const QString& value) { object->setProperty("Tag", value); }

void centreOnScreen(QWidget* window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->geometry().center());
  window->move(frame.topLeft());
}

void repaintNow(QWidget* window) {
  if (!window) return;
  window->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace forms
