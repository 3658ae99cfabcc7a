// The purge run's one sequence: the day's backup, the ticked table purges,
// the compaction and the final box, driven alike by the main window and by
// the command line, each telling the operator in its own way.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QDate>
#include <QString>

#include "platform/core/status.h"
#include "purge/purge_db_tables.h"

// The work of a run, in the order it is done.
enum class PurgeStep { Backup, Check, Table, Compaction };

// How one step that ran ended, with what the step left in errNum/errDesc.
struct PurgeStepResult {
  PurgeStep step = PurgeStep::Backup;
  std::optional<ShopTable> table;  // for PurgeStep::Table
  bool ok = false;
  int32_t errNum = 0;
  QString errDesc;
};

// What to purge: the main window's three options.
struct PurgeSelection {
  bool contacts = false;
  bool invoices = false;
  bool shipments = false;
};

// How a run ended, in the one word a face tells it with (the command
// line's exit status): the purge finished; it stopped before changing
// anything because another program or run holds the database; or because
// the database is missing or is no database; or a step failed (rows may
// have been deleted).
enum class RunVerdict { Success, InUse, NoDatabase, Failed };

// What became of one run.
struct PurgeOutcome {
  bool started = false;  // the cut-off text was a date
  bool success = false;  // "Purge has been finished successfully !" was said
  // Why the run stopped before any step, nothing changed: EBUSY when
  // another run holds the database, SQLITE_CORRUPT when what is beside it
  // would damage it if played back, ENOSPC or EFBIG when there is no room
  // for the run's copies (CheckRoom), else the failure of the trial.
  Status refusal;
  QString backupPath;
  bool backupFound = false;            // today's backup was there already
  bool backupMade = false;             // this run made it
  std::vector<PurgeStepResult> steps;  // every step that ran, in order
  // True when a table purge ran, so rows may have been deleted; the backup
  // and the compaction leave the database as it was when they fail.
  bool ranTablePurge() const;
  // The verdict, decided here for every face: before any table purge ran
  // the database is as it was, and a refusal or a backup or compaction
  // refused because the file is in use (EBUSY), missing (ENOENT) or no
  // database (SQLITE_NOTADB) says which; anything else that did not
  // succeed is Failed.
  RunVerdict verdict() const;
};

// The face a run shows besides its message boxes (which go through MsgBox).
class PurgeRunFace {
 public:
  virtual ~PurgeRunFace() = default;
  // The work begins (true: the cut-off was accepted) or has ended (false:
  // before the run's closing box).
  virtual void busy(bool working) = 0;
  // A step is about to run; `progress` is its progress text
  // ("backing up kestrova.mdb databse...", "checking the database...",
  // "purging contacts...", ...).
  virtual void stepStarting(PurgeStep step, std::optional<ShopTable> table, const QString& progress) = 0;
  // A step has ended.
  virtual void stepEnded(const PurgeStepResult& result) = 0;
};

// Runs one purge of the database `dbPath` with the rows dated before the
// date that `cutOffText` reads as (locale_dates::textToDate, read afresh
// before every step), `today` naming the day's backup (the run's one
// reading of the clock): when the text is no date, only the box "Please
// click on the calender to select a removal Date". Otherwise, once the run
// holds the database and anything an interrupted writer left is recovered
// (PrepareRun; its refusal ends the run with its box and "Purge has failed
// to complete...") and there is room for its copies (CheckRoom, refused the
// same way), the day's backup
// beside the database unless it exists, when a table is selected the check
// that the database is not damaged (CheckDB), the selected purges (contacts; the
// invoice chain InvoiceNumbers, Payments, Transactions, each only after the
// one before it succeeded; Manifest), the compaction only when every step
// that ran succeeded, and the closing box: "Purge has been finished
// successfully !" or "Purge has failed to complete..." (after a failed
// compaction with its cause first). Never throws: the steps trap their own
// errors; a run-time error of the face propagates to the caller.
//
// With an `archivePath`, a run that purges any table first readies that
// archive (archive::prepare, right after PrepareRun; its refusal is told in
// one warning box, left in `refusal`, and ends the run as PrepareRun's
// does), and every table purge then copies the rows it deletes into it in
// the delete's own transaction.
PurgeOutcome runPurgeSequence(const QString& dbPath, const QString& cutOffText, const PurgeSelection& selection,
                              const QDate& today, PurgeRunFace& face, const QString& archivePath = QString());
