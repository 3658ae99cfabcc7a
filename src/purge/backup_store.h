// The day's backups beside a database file: listing and checking them,
// putting one back in place of the database, and keeping only the newest.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include "platform/status.h"

namespace backups {

// The date in a backup's name "kvbackupDDMMYYYY.mdb"; invalid unless the
// whole name matches (exact case) and the digits are a real date.
QDate dateOfName(const QString& fileName);

// "kvbackupDDMMYYYY.mdb" for `date`.
QString nameForDate(const QDate& date);

// What opening a file read-only and checking it found.
struct Check {
  bool passed = false;  // opened, and the check said "ok"
  QString verdict;      // "ok", or the first thing found wrong
};

// Checks the file at `path` without changing it: it must begin as an SQLite
// database, have no live journal or WAL beside it (files::hasLiveSidecar),
// open read-only, and pass PRAGMA quick_check (integrity_check when `full`).
// Never fails: what went wrong is the verdict.
Check checkFile(const QString& path, bool full);

// One backup beside the database.
struct Entry {
  QDate date;
  QString path;
  qint64 size = 0;
  bool checked = false;  // false when listed without a check
  Check check;
};

// How list() checks each backup.
enum class CheckMode { None, Quick, Full };

// The backups in the folder of the database `dbPath` (through
// paths::resolve): regular files whose whole name is a backup name, newest
// first by the date in the name, each checked as `mode` asks. Ok with an
// empty list when there is none; ENOENT when the folder is missing.
Status list(const QString& dbPath, CheckMode mode, QList<Entry>& out);

// How a restore ended; each maps to one exit status of the command line.
enum class Outcome {
  Restored,     // the database is now the backup's copy
  BadArgument,  // eight digits that are no date, or the database itself named
  InUse,        // another program writes the database (or a backup): nothing changed
  NotDatabase,  // the backup is missing, not a database or fails its check: nothing changed
  Failed,       // a copy failed: the database is as it was
};

struct RestoreResult {
  Outcome outcome = Outcome::Failed;
  QString database;  // resolved path of the database
  QString backup;    // resolved path of the backup restored from
  QString kept;      // where the database was kept first; empty when there was none
  Status status;     // the cause when not restored
};

// The "kvbeforerestoreYYYYMMDDhhmmss.mdb" name for `when`.
QString keptName(const QDateTime& when);

// Puts the backup `which` (DDMMYYYY: that day's backup beside the database;
// anything else: a file path, through paths::resolve) in place of the
// database `dbPath`. Refuses, changing nothing, when the database is held
// open for writing by another program or has a live journal or WAL beside
// it (InUse), and when the backup fails checkFile with integrity_check
// (NotDatabase). Otherwise the current database, when there is one, is first
// copied to keptName(now) beside it (the next free second when that name is
// taken; never overwritten), then the backup is copied over the database
// with files::copyFile under the database's write lock: the database keeps
// its owner and mode, the backup stays. A writer that commits between the
// kept copy and the lock makes the restore refuse as InUse. On every refusal
// or failure the database is as it was and no kept copy is left.
RestoreResult restore(const QString& dbPath, const QString& which, const QDateTime& now);

// The backups beside `dbPath` beyond the newest `keep` (>= 1) by the date in
// their name, oldest last; today's backup is never among them (nor is any
// kvbeforerestore file, or a file whose whole name is not a backup name).
// Ok, or the failure of list().
Status beyondNewest(const QString& dbPath, int keep, const QDate& today, QList<Entry>& out);

// One backup retention removed or could not remove.
struct Removal {
  Entry backup;
  Status status;  // ok when removed (or, in a dry run, when it would be)
};

// Removes the backups beyondNewest() names, or with `dryRun` only lists
// them. Ok when every one named was removed; otherwise the first failure
// (files::removeFile's: EACCES read-only, EBUSY in use), the others still
// tried. Each is reported in `out`. EINVAL when `keep` < 1, nothing removed.
Status keepNewest(const QString& dbPath, int keep, const QDate& today, bool dryRun,
                  QList<Removal>& out);

}  // namespace backups
