// The purge run: what the Purge and Exit buttons of the main window do.
#include <QCheckBox>
#include <QDate>

#include "data/msgbox_.h"
#include "platform/clock.h"
#include "platform/locale_dates.h"
#include "platform/mouse_pointer.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "purge/calendar_control.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"
#include "purge/purge_database.h"
#include "purge/purge_db_files.h"
#include "purge/purge_db_tables.h"

namespace {

const QString kDbPath = QStringLiteral("C:\\kestrova\\kestrova.mdb");
const QString kBackupStem = QStringLiteral("C:\\kestrova\\kvbackup");
const QString kCaption = QStringLiteral("Purge");

// A number written with at least `digits` digits, zeros in front.
QString padded(int value, int digits) {
  return QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
}

// The cut-off date, read afresh from its text before every step.
QDate cutOffDate(const QString& text) { return locale_dates::textToDate(text); }

}  // namespace

void PurgeDatabase::showStep(const QString& text) {
  if (LoadPleaseWait()) PleaseWait()->DisplayMsg_(text);
}

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
  const QString dbPath = kDbPath;
  const QString backupPath =
      kBackupStem + sysclock::today().toString(QStringLiteral("ddMMyyyy")) + QStringLiteral(".mdb");

  const QString cutOffText = padded(cldRemoveDate->firstPart(), 2) + QLatin1Char('/') +
                             padded(cldRemoveDate->secondPart(), 2) + QLatin1Char('/') +
                             padded(cldRemoveDate->yearPart(), 4);
  if (!locale_dates::isDate(cutOffText)) {
    MsgBox(QStringLiteral("Please click on the calender to select a removal Date"), vbInformation);
    return;
  }

  pointer::setMousePointer(pointer::vbHourglass);
  QString errDesc;
  int32_t errNum = 0;

  bool success = BackupExists(backupPath);
  if (!success) {
    if (LoadPleaseWait()) PleaseWait()->DisplayMsg_BackUp_File(QStringLiteral("kestrova.mdb databse"));
    errDesc.clear();
    errNum = 0;
    success = BackupDB(dbPath, backupPath, errDesc, errNum);
  }
  const bool purging = checkValue(chkContacts) == 1 || checkValue(chkInvoices) == 1 || checkValue(chkShipments) == 1;
  if (success && purging) success = CheckDB(dbPath);
  if (!success) {
    pointer::setMousePointer(pointer::vbDefault);
    ShowFailed(kCaption);
    return;
  }

  // Every step that runs must succeed for the purge to count as a success;
  // a failed step is never hidden by a later one that worked.
  auto step = [&](const QString& text, auto purge) {
    showStep(text);
    errDesc.clear();
    errNum = 0;
    return purge(dbPath, cutOffDate(cutOffText), errDesc, errNum);
  };

  if (checkValue(chkContacts) == 1) {
    if (!step(QStringLiteral("purging contacts..."), PurgeContacts)) success = false;
  }
  if (checkValue(chkInvoices) == 1) {
    bool chain = step(QStringLiteral("purging invoices..."), PurgeInvoiceNumbers);
    if (chain) chain = step(QStringLiteral("purging payments..."), PurgePayments);
    if (chain) chain = step(QStringLiteral("purging transactions..."), PurgeTransactions);
    if (!chain) success = false;
  }
  if (checkValue(chkShipments) == 1) {
    if (!step(QStringLiteral("purging manifest..."), PurgeManifest)) success = false;
  }

  if (!success) {
    pointer::setMousePointer(pointer::vbDefault);
    ShowFailed(kCaption);
    return;
  }

  showStep(QStringLiteral("compacting the database..."));
  errDesc.clear();
  errNum = 0;
  const bool compacted = CompactDB(dbPath, errDesc, errNum);
  pointer::setMousePointer(pointer::vbDefault);
  if (compacted) {
    ShowFinished(kCaption);
    return;
  }
  // A compaction that failed is said, with its cause when there is one.
  if (!errDesc.isEmpty())
    ShowProcessFailed(errDesc, QStringLiteral("Failed to compact the database..."), QString());
  ShowFailed(kCaption);
}
