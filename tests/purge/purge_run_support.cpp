// A purge run under test.
#include "purge_run_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QEvent>
#include <QLabel>

#include "platform/core/clock.h"
#include "purge/calendar_control.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"
#include "purge/purge_window.h"

namespace test {

QString drivePath(const QString& name) {
  return qEnvironmentVariable("KESTROVA_DRIVE_C") + QStringLiteral("/kestrova/") + name;
}

PurgeRunRecorder::PurgeRunRecorder() {
  sysclock::setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(10, 30)); });
  qApp->installEventFilter(this);
  boxes.onShow = [this](const Box& box) {
    events << QStringLiteral("box %1: %2").arg(box.style).arg(box.prompt);
    if (!m_lastProgress.isNull() && QApplication::overrideCursor()) busyWhileWorking = false;
  };
}

PurgeRunRecorder::~PurgeRunRecorder() {
  qApp->removeEventFilter(this);
  sysclock::setClock({});
}

bool PurgeRunRecorder::eventFilter(QObject* watched, QEvent* event) {
  // The progress window's second line, each time it is painted.
  if (event->type() == QEvent::Paint && watched->objectName() == QLatin1String("lblProcessing")) {
    const QString text = static_cast<QLabel*>(watched)->text();
    if (text != m_lastProgress) {
      m_lastProgress = text;
      events << QStringLiteral("progress: ") + text;
      const QCursor* cursor = QApplication::overrideCursor();
      if (!cursor || cursor->shape() != Qt::WaitCursor) busyWhileWorking = false;
    }
  }
  return false;
}

void PurgeRunRecorder::purge(const RunOptions& options) {
  MainWindow().unload();
  PurgeDatabase* w = MainWindow().get();
  w->chkContacts->setChecked(options.contacts);
  w->chkInvoices->setChecked(options.invoices);
  w->chkShipments->setChecked(options.shipments);
  w->cldRemoveDate->setSelectedDate(options.cutOff);
  w->show();
  m_lastProgress = QString();
  w->btnAction_Click(0);
}

QStringList progressOf(const QStringList& events) {
  QStringList out;
  for (const QString& e : events)
    if (e.startsWith(QStringLiteral("progress: "))) out << e.mid(10);
  return out;
}

}  // namespace test
