// The day's backups beside a database file: listing and checking them,
// putting one back in place of the database, and keeping only the newest.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include "platform/core/status.h"

namespace backups {

// The date in a backup's name "kvbackupDDMMYYYY.mdb"; invalid unless the
// whole name matches (exact case, nothing after ".mdb", not even a newline)
// and the digits are a real date.
QDate dateOfName(const QString& fileName);

// The time in a kept copy's name "kvbeforerestoreYYYYMMDDhhmmss.mdb";
// invalid unless the whole name matches and the digits are a real time.
QDateTime timeOfKeptName(const QString& fileName);

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

// What is at a backup's name beside the database.
enum class Standing { Absent, Valid, Foreign };

// Absent when nothing is at `backupPath` (no file, no link, not even a
// dangling one; a folder counts as Absent too). Valid when it is a regular
// file (lstat: never a symbolic link), not the database `dbPath` itself (same
// st_dev and st_ino, so a hard link to the database is Foreign), that begins
// with the SQLite header and holds the shop's tables (of Setup, Contacts,
// InvoiceNumbers, Payments, Transactions, Manifest at least one, and every
// one the database holds; names compared case-insensitively), read from
// sqlite_schema through a read-only
// connection opened with the URI "file:...?immutable=1", so nothing beside
// it is touched or played back. Foreign for anything else: a link of any
// kind, a FIFO or device (never opened for reading without O_NONBLOCK), a
// text file, an empty or other-schema SQLite file, the database itself.
// Both paths go through paths::resolve. Never fails, never blocks. `why`,
// when given, gets a short reason for the operator when not Valid.
Standing standingOf(const QString& backupPath, const QString& dbPath, QString* why = nullptr);

// The two kinds of copies kept beside the database.
enum class Kind {
  Daily,          // kvbackupDDMMYYYY.mdb, the day's backup of a purge
  BeforeRestore,  // kvbeforerestoreYYYYMMDDhhmmss.mdb, kept by a restore
};

// One backup beside the database.
struct Entry {
  QDate date;
  QDateTime time;  // Daily: the date at 00:00:00; BeforeRestore: the time in the name
  Kind kind = Kind::Daily;
  QString path;
  qint64 size = 0;
  bool checked = false;  // false when listed without a check
  Check check;
};

// How list() checks each backup.
enum class CheckMode { None, Quick, Full };

// The backups in the folder of the database `dbPath` (through
// paths::resolve): regular files, never links, whose whole name is a backup
// name (kvbackup, Daily) or a kept copy's name (kvbeforerestore,
// BeforeRestore), newest first by the date and time in the name (a day's
// backup counts as made at the start of its day), each checked as `mode`
// asks: one that standingOf does not find Valid (another schema, the
// database itself under a second name, no database) fails its check with
// the reason as verdict; a Valid one is checked with checkFile. Ok with an
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

// Puts the backup `which` in place of the database `dbPath`, keeping the
// current database first as keptName(now) beside it (the next free second
// when taken; with the database's owner, group and mode). `which` is
// DDMMYYYY or YYYY-MM-DD, that day's backup beside the database, or a file
// path. Refuses, changing nothing: BadArgument for a date form that is no
// date or the database itself named (by device and inode); NotDatabase for
// a backup that is missing, no real backup (standingOf for a day's name, a
// regular file of the shop's schema for a path) or fails integrity_check;
// InUse while another purge, restore or retention runs, or another program
// writes the database or the backup. Failed when a copy fails. No commit of
// another program is lost between the kept copy and the replacement. On
// every refusal or failure the database is as it was and no kept copy is left.
RestoreResult restore(const QString& dbPath, const QString& which, const QDateTime& now);

// Retention. The copies that count are those list() names (day's backups and
// kept pre-restore copies alike) that standingOf finds Valid, ordered as
// list() orders them, newest first. Those beyond the newest `keep` (>= 1) go,
// except any dated `today` (the day's backup, or a copy a restore kept
// today), which always stays. A pre-restore copy is thus kept for as long as
// it is among the newest `keep` backups by date. A file that is not Valid is
// neither counted nor removed: it is the operator's to look at. With
// `todayCounts`, today's backup counts among the newest as if present even
// when it is not (yet) there: a dry run whose purge would make it names
// exactly what the real run, which makes it first, removes.
//
// The copies beyond the newest, oldest last. Ok, or the failure of list().
Status beyondNewest(const QString& dbPath, int keep, const QDate& today, QList<Entry>& out, bool todayCounts = false);

// One backup retention removed or could not remove.
struct Removal {
  Entry backup;
  Status status;  // ok when removed (or, in a dry run, when it would be)
};

// Removes the backups beyondNewest() names, or with `dryRun` only lists
// them. Ok when every one named was removed; otherwise the first failure
// (files::removeFile's: EACCES read-only, EBUSY in use), the others still
// tried. Each is reported in `out`. EINVAL when `keep` < 1, nothing removed.
// Takes no run lock: the caller holds it (cli::keepBackupsCommand does).
Status keepNewest(const QString& dbPath, int keep, const QDate& today, bool dryRun, QList<Removal>& out,
                  bool todayCounts = false);

}  // namespace backups
