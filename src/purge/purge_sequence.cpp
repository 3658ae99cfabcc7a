// The purge run's one sequence, for the main window and the command line.
#include "purge/purge_sequence.h"

#include <cerrno>

#include <sqlite3.h>

#include "data/msgbox_.h"
#include "platform/core/locale_dates.h"
#include "platform/ui/msgbox.h"
#include "purge/checked_state.h"
#include "purge/purge_archive.h"
#include "purge/purge_db_files.h"

namespace {

const QString kCaption = QStringLiteral("Purge");

using TablePurge = bool (*)(const QString&, const QDate&, QString&, int32_t&);

}  // namespace

bool PurgeOutcome::ranTablePurge() const {
  for (const PurgeStepResult& r : steps)
    if (r.step == PurgeStep::Table) return true;
  return false;
}

RunVerdict PurgeOutcome::verdict() const {
  if (success) return RunVerdict::Success;
  auto verdictOf = [](int32_t number) {
    if (number == EBUSY) return RunVerdict::InUse;
    if (number == ENOENT || number == SQLITE_NOTADB) return RunVerdict::NoDatabase;
    return RunVerdict::Failed;
  };
  if (!refusal.ok()) return verdictOf(refusal.number());
  if (ranTablePurge() || steps.empty() || steps.back().ok) return RunVerdict::Failed;
  return verdictOf(steps.back().errNum);
}

PurgeOutcome runPurgeSequence(const QString& dbPath, const QString& cutOffText, const PurgeSelection& selection,
                              const QDate& today, PurgeRunFace& face, const QString& archivePath) {
  PurgeOutcome outcome;
  outcome.backupPath = backupPathFor(dbPath, today);
  if (!locale_dates::isDate(cutOffText)) {
    MsgBox(QStringLiteral("Please click on the calender to select a removal Date"), vbInformation);
    return outcome;
  }
  outcome.started = true;
  face.busy(true);
  // Rows kept for an unreadable date are told once, before the closing box.
  UnreadableDateReport unreadable;
  // What the check before deleting found whole, for the compaction.
  CheckedStateScope checkedState;

  QString errDesc;
  int32_t errNum = 0;
  // Runs one step with errDesc/errNum cleared, between the face's calls.
  auto run = [&](PurgeStep step, std::optional<ShopTable> table, const QString& progress, auto&& work) {
    face.stepStarting(step, table, progress);
    errDesc.clear();
    errNum = 0;
    const bool ok = work();
    outcome.steps.push_back(PurgeStepResult{step, table, ok, errNum, errDesc});
    face.stepEnded(outcome.steps.back());
    return ok;
  };
  auto fail = [&] {
    face.busy(false);
    unreadable.tell();
    ShowFailed(kCaption);
    return outcome;
  };

  runlock::RunLock runLock;
  if (!PrepareRun(dbPath, runLock, outcome.refusal)) return fail();
  const bool purging = selection.contacts || selection.invoices || selection.shipments;
  // The archive is checked, and what an interrupted run left in it settled,
  // before anything else is done; a run that cannot archive deletes nothing.
  std::optional<archive::ArchiveScope> archiving;
  runlock::RunLock archiveLock;
  if (purging && !archivePath.isEmpty()) {
    archive::Layout layout;
    outcome.refusal = archive::lockArchiveFolder(dbPath, archivePath, archiveLock);
    if (outcome.refusal.ok()) outcome.refusal = archive::prepare(dbPath, archivePath, true, layout);
    if (!outcome.refusal.ok()) {
      MsgBox(outcome.refusal.description(), vbExclamation);
      return fail();
    }
    archiving.emplace(std::move(layout), today);
  }

  bool success = TodaysBackupFound(dbPath, outcome.backupPath);
  outcome.backupFound = success;
  if (!CheckRoom(dbPath, !success, outcome.refusal)) return fail();
  if (!success) {
    success = run(PurgeStep::Backup, std::nullopt,
                  QStringLiteral("backing up ") + backupFileCaption() + QStringLiteral("..."),
                  [&] { return BackupDB(dbPath, outcome.backupPath, errDesc, errNum); });
    outcome.backupMade = success;
  }
  // A damaged database is never purged: its indexes could point a delete at
  // rows the rules keep. A run that only compacts relies on the compaction's
  // own check of the new file.
  if (success && purging)
    success = run(PurgeStep::Check, std::nullopt, QStringLiteral("checking the database..."),
                  [&] { return CheckDB(dbPath); });
  if (!success) return fail();

  // Every step that runs must succeed for the purge to count as a success;
  // a failed step is never hidden by a later one that worked.
  auto purge = [&](ShopTable table, const char* progress, TablePurge work) {
    return run(PurgeStep::Table, table, QString::fromLatin1(progress),
               [&] { return work(dbPath, locale_dates::textToDate(cutOffText), errDesc, errNum); });
  };
  if (selection.contacts) {
    if (!purge(ShopTable::Contacts, "purging contacts...", PurgeContacts)) success = false;
  }
  if (selection.invoices) {
    bool chain = purge(ShopTable::InvoiceNumbers, "purging invoices...", PurgeInvoiceNumbers);
    if (chain) chain = purge(ShopTable::Payments, "purging payments...", PurgePayments);
    if (chain) chain = purge(ShopTable::Transactions, "purging transactions...", PurgeTransactions);
    if (!chain) success = false;
  }
  if (selection.shipments) {
    if (!purge(ShopTable::Manifest, "purging manifest...", PurgeManifest)) success = false;
  }
  if (!success) return fail();

  const bool compacted = run(PurgeStep::Compaction, std::nullopt, QStringLiteral("compacting the database..."),
                             [&] { return CompactDB(dbPath, errDesc, errNum); });
  face.busy(false);
  unreadable.tell();
  if (compacted) {
    outcome.success = true;
    ShowFinished(kCaption);
    return outcome;
  }
  // A compaction that failed is said, with its cause when there is one.
  if (!errDesc.isEmpty()) ShowProcessFailed(errDesc, QStringLiteral("Failed to compact the database..."), QString());
  ShowFailed(kCaption);
  return outcome;
}
