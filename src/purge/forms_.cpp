// The program-wide progress window and the loaded-window test.
#include "purge/forms_.h"

#include <QApplication>
#include <QWidget>

#include "platform/core/runtime_error.h"
#include "platform/ui/forms.h"
#include "purge/frm_please_wait.h"

namespace {

const QString kPleaseWait = QStringLiteral("frmPleaseWait");

FormRef<frmPleaseWait>& pleaseWaitRef() {
  static FormRef<frmPleaseWait> ref;
  return ref;
}

}  // namespace

bool IsFormLoaded(const QString& formName) {
  if (formName.isEmpty()) return false;
  bool found = false;
  trapErrors([&] {
    const QString wanted = formName.toLower();
    const QList<QWidget*> windows = forms::loaded();
    for (qsizetype i = windows.size() - 1; i >= 0 && !found; --i)
      if (windows.at(i) && windows.at(i)->objectName().toLower() == wanted) found = true;
  });
  return found;
}

bool LoadPleaseWait() {
  // A process without a widget application (the command line) has no
  // windows: creating one there would abort the program.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  return !trapErrors([] {
    if (!IsFormLoaded(kPleaseWait)) pleaseWaitRef().get();
  });
}

bool ShowPleaseWait() {
  return !trapErrors([] {
    if (IsFormLoaded(kPleaseWait) && pleaseWaitRef().isLoaded()) pleaseWaitRef().get()->show();
  });
}

bool UnloadPleaseWait() {
  return !trapErrors([] {
    if (IsFormLoaded(kPleaseWait)) pleaseWaitRef().unload();
  });
}

frmPleaseWait* PleaseWait() { return pleaseWaitRef().isLoaded() ? pleaseWaitRef().get() : nullptr; }
