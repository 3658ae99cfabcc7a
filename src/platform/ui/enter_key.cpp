// Return and Enter press the focused button.
#include "platform/ui/enter_key.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

namespace keys {

namespace {

// Clicks its button on Return or Enter; every other event passes on.
class EnterFilter : public QObject {
 public:
  explicit EnterFilter(QAbstractButton* button) : QObject(button), m_button(button) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != m_button || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || key->isAutoRepeat()) return false;
    if (!m_button->isEnabled()) return false;
    m_button->click();
    return true;
  }

 private:
  QAbstractButton* m_button;
};

}  // namespace

void enterPressesButton(QAbstractButton* button) { button->installEventFilter(new EnterFilter(button)); }

void enterPressesButtons(QWidget* window) {
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button)) enterPressesButton(button);
  }
}

}  // namespace keys
