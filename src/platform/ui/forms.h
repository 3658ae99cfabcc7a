// Windows as the system knows them: the program-wide list of loaded windows,
// one program-wide reference per window, their "Tag", centring on the screen
// and synchronous repainting.
#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace forms {

// Adds a window to the list of loaded windows (load order); it leaves the
// list again when unregistered or destroyed.
void registerLoaded(QWidget* window);

// Removes a window from the list; no effect when it is not in it.
void unregisterLoaded(QWidget* window);

// The loaded windows, first loaded first.
QList<QWidget*> loaded();

// The "Tag" text a window or control carries: empty when none was set.
QString tag(const QObject* object);
void setTag(QObject* object, const QString& value);

// Moves the window so that its frame is centred on the primary screen ("the
// centre of the screen"); no effect when there is no screen.
void centreOnScreen(QWidget* window);

// Draws the window and its controls now and lets the screen catch up,
// without handling any user input meanwhile.
void repaintNow(QWidget* window);

}  // namespace forms

// The program-wide reference to one window: created ("loaded") on first use,
// released on unload so that the next use creates and loads it afresh.
// T's constructor is its load step.
template <class T>
class FormRef {
 public:
  // The window, loading it (without showing it) when there is none.
  T* get() {
    if (!m_window) {
      T* w = new T();
      m_window = w;
      forms::registerLoaded(w);
    }
    return m_window.data();
  }

  // True while a window is loaded through this reference.
  bool isLoaded() const { return !m_window.isNull(); }

  // Closes and releases the window and drops the reference; no effect when
  // none is loaded. Safe to call from the window's own event handlers. The
  // program ends when the last window it counts on is closed this way.
  void unload() {
    if (!m_window) return;
    T* w = m_window.data();
    m_window.clear();
    forms::unregisterLoaded(w);
    w->close();
    w->deleteLater();
  }

 private:
  QPointer<T> m_window;
};
