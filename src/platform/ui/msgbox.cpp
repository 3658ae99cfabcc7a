// Modal message boxes through a replaceable presenter.
#include "platform/ui/msgbox.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/core/app.h"

namespace {

// The program's presenter: a QMessageBox with the style's icon and buttons.
class QtPresenter : public MsgBoxPresenter {
 public:
  int present(const QString& prompt, int style, const QString& title) override {
    QMessageBox box;
    box.setWindowTitle(title);
    QString text = prompt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (style & 0x70) {
      case vbCritical:
        box.setIcon(QMessageBox::Critical);
        break;
      case vbQuestion:
        box.setIcon(QMessageBox::Question);
        break;
      case vbExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
      case vbInformation:
        box.setIcon(QMessageBox::Information);
        break;
      default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((style & 0x7) == vbYesNo) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
  }
};

MsgBoxPresenter* g_presenter = nullptr;

}  // namespace

MsgBoxPresenter* setMsgBoxPresenter(MsgBoxPresenter* presenter) {
  MsgBoxPresenter* old = g_presenter;
  g_presenter = presenter;
  return old;
}

int MsgBox(const QString& prompt, int style, const QString& title) {
  const QString shownTitle = title.isEmpty() ? app::title() : title;
  if (g_presenter) return g_presenter->present(prompt, style, shownTitle);
  static QtPresenter qtPresenter;
  return qtPresenter.present(prompt, style, shownTitle);
}
