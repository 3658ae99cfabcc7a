// The purge run: what the Purge and Exit buttons of the main window do.
#include <QCheckBox>
#include <QDate>

#include "data/msgbox_.h"
#include "platform/core/clock.h"
#include "platform/core/liveness.h"
#include "platform/core/runtime_error.h"
#include "platform/ui/mouse_pointer.h"
#include "platform/ui/msgbox.h"
#include "purge/calendar_control.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"
#include "purge/purge_window.h"
#include "purge/purge_db_files.h"
#include "purge/purge_sequence.h"

namespace {

// A number written with at least `digits` digits, zeros in front.
QString padded(int value, int digits) {
  return QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
}

// The window's face of the run: the hourglass while it works, and each step
// named in the progress window.
class WindowFace : public PurgeRunFace {
 public:
  void busy(bool working) override {
    pointer::setMousePointer(working ? pointer::vbHourglass : pointer::vbDefault);
  }
  void stepStarting(PurgeStep step, std::optional<ShopTable>, const QString& progress) override {
    // The check has no text of its own: the progress window keeps the
    // backup's.
    if (step == PurgeStep::Check || !LoadPleaseWait()) return;
    if (step == PurgeStep::Backup)
      PleaseWait()->DisplayMsg_BackUp_File(backupFileCaption());
    else
      PleaseWait()->DisplayMsg_(progress);
  }
  void stepEnded(const PurgeStepResult&) override {}
};

}  // namespace

void PurgeDatabase::btnAction_Click(int Index) {
  const auto error = trapErrors([&] {
    if (Index == 1) {
      MainWindow().unload();
      return;
    }
    if (Index == 0) runPurge();
  });

  // Closing steps, on every way out.
  UnloadPleaseWait();
  pointer::setMousePointer(pointer::vbDefault);
  if (error) ShowProcessFailed(error->description, QStringLiteral("Purge has failed..."), QString());
}

void PurgeDatabase::runPurge() {
  const QString cutOffText = padded(cldRemoveDate->firstPart(), 2) + QLatin1Char('/') +
                             padded(cldRemoveDate->secondPart(), 2) + QLatin1Char('/') +
                             padded(cldRemoveDate->yearPart(), 4);
  PurgeSelection selection;
  selection.contacts = checkValue(chkContacts) == 1;
  selection.invoices = checkValue(chkInvoices) == 1;
  selection.shipments = checkValue(chkShipments) == 1;
  WindowFace face;
  // The windows keep painting and answering the desktop while a step works;
  // no key, click or close reaches them until the run has ended.
  liveness::Responsive responsive;
  runPurgeSequence(defaultDatabasePath(), cutOffText, selection, sysclock::today(), face);
}
