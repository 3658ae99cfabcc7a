// The purge run: what the Purge and Exit buttons of the main window do.
#include <QCheckBox>
#include <QDate>

#include "data/msgbox_.h"
#include "platform/core/app.h"
#include "platform/core/clock.h"
#include "platform/core/liveness.h"
#include "platform/core/runtime_error.h"
#include "platform/core/settings_store.h"
#include "platform/ui/mouse_pointer.h"
#include "platform/ui/msgbox.h"
#include "purge/calendar_control.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"
#include "purge/purge_archive.h"
#include "purge/purge_db_files.h"
#include "purge/purge_sequence.h"
#include "purge/purge_window.h"

namespace {

// A number written with at least `digits` digits, zeros in front.
QString padded(int value, int digits) { return QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0')); }

// The archive the window's Purge copies removed rows into: the one beside
// the database when the user's setting [Purge] ArchiveRemovedRows is on
// ("1" or "true"), else none. A settings file that cannot be read counts
// as on: an archive nobody asked for costs room, a row lost costs more.
QString archiveOfSetting(const QString& dbPath) {
  QString value;
  const Status read = settings::GetSetting(app::title(), QStringLiteral("Purge"), QStringLiteral("ArchiveRemovedRows"),
                                           QStringLiteral("0"), &value);
  const QString v = value.trimmed().toLower();
  const bool on = !read.ok() || v == QLatin1String("1") || v == QLatin1String("true");
  return on ? archive::archivePathFor(dbPath) : QString();
}

// The window's face of the run: the hourglass while it works, and each step
// named in the progress window.
class WindowFace : public PurgeRunFace {
 public:
  void busy(bool working) override { pointer::setMousePointer(working ? pointer::vbHourglass : pointer::vbDefault); }
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
  const QString dbPath = defaultDatabasePath();
  runPurgeSequence(dbPath, cutOffText, selection, sysclock::today(), face, archiveOfSetting(dbPath));
}
