// purge-run-child: presses Purge on the main window in a process of its own,
// for tests that kill, starve or race a real purge run.
//
//   purge-run-child [--contacts] [--invoices] [--shipments]
//                   [--cutoff YYYY-MM-DD] [--today YYYY-MM-DD]
//
// The database is "C:\kestrova\kestrova.mdb" under $KESTROVA_DRIVE_C. Each
// message box is answered OK (No on a Yes/No box) and written to standard
// output as one line: "box <style>: <prompt>", carriage returns as "|".
// Exits 0 when the run returned.
#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QStringList>

#include "platform/core/clock.h"
#include "platform/ui/msgbox.h"
#include "purge/calendar_control.h"
#include "purge/purge_window.h"

namespace {

class PrintingPresenter : public MsgBoxPresenter {
 public:
  int present(const QString& prompt, int style, const QString&) override {
    QString line = prompt;
    line.replace(QLatin1Char('\r'), QLatin1Char('|'));
    std::printf("box %d: %s\n", style, line.toUtf8().constData());
    std::fflush(stdout);
    return (style & vbYesNo) == vbYesNo ? vbNo : vbOK;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGXFSZ, SIG_IGN);  // as the program does
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const QStringList args = QCoreApplication::arguments().mid(1);

  QDate cutOff(2004, 3, 5);
  QDate today;
  for (int i = 0; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--cutoff") && i + 1 < args.size())
      cutOff = QDate::fromString(args[++i], Qt::ISODate);
    else if (args[i] == QLatin1String("--today") && i + 1 < args.size())
      today = QDate::fromString(args[++i], Qt::ISODate);
  }
  if (!cutOff.isValid()) return 2;
  if (today.isValid()) sysclock::setClock([today] { return QDateTime(today, QTime(10, 0)); });

  PrintingPresenter presenter;
  setMsgBoxPresenter(&presenter);
  PurgeDatabase* window = MainWindow().get();
  window->chkContacts->setChecked(args.contains(QStringLiteral("--contacts")));
  window->chkInvoices->setChecked(args.contains(QStringLiteral("--invoices")));
  window->chkShipments->setChecked(args.contains(QStringLiteral("--shipments")));
  window->cldRemoveDate->setSelectedDate(cutOff);
  window->show();
  window->btnAction_Click(0);
  std::printf("done\n");
  std::fflush(stdout);
  setMsgBoxPresenter(nullptr);
  return 0;
}
