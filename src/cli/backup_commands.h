// The command line's backup commands: list and verify the day's backups,
// restore one, and keep only the newest N after a purge.
//
// The options that reach them (cli_options.cpp): --list-backups [--verify],
// --restore DDMMYYYY|YYYY-MM-DD|FILE, --keep-backups N on a purge, each with --json and
// --database PATH (default "C:\kestrova\kestrova.mdb"). `out` takes the
// result (human text, or one JSON object on one line), `err` the refusals
// and failures.
#pragma once

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QTextStream>

#include "cli/exit_status.h"

namespace cli {

// Lists the backups beside the database, newest first, with date, size and
// the verdict of quick_check (integrity_check with `verify`); no file is
// changed. The copies a restore kept (kvbeforerestore...) are listed too,
// marked "before restore" (JSON: "kind" is "backup" or "before restore",
// and a kept copy has its "time"). A file at a backup's name that is no
// backup of the database (another schema, the database itself under a
// second name) fails its check. 0 when every backup passed (or there is
// none), 1 when one failed its check, 4 when the database's folder is missing.
// The archive at `archivePath`, when one is there, follows the backups
// (listArchive; JSON "archive"), checked as they are; it is no backup and
// retention never counts it.
int listBackupsCommand(const QString& dbPath, bool verify, bool json, QTextStream& out, QTextStream& err,
                       const QString& archivePath = QString());

// Restores the backup `which` (DDMMYYYY, YYYY-MM-DD or a file path) in place of the
// database, keeping the current one as kvbeforerestore<time>.mdb first, and
// says what it did (backups::restore). 0 restored; 2 a date that is no
// date, or the database named as the backup; 3 another program writes the
// database (or a journal or WAL is live beside it), or another purge,
// restore or retention of it is running; 4 the backup is missing, not a
// backup of the database or fails integrity_check; 1 a copy failed. Only 0
// changes files.
int restoreCommand(const QString& dbPath, const QString& which, bool json, QTextStream& out, QTextStream& err);

// Removes the backups beyond the newest `keep` (backups::keepNewest: day's
// backups and kept pre-restore copies count alike, by the date and time in
// their name; nothing dated `today` goes; only whole-name matches that are
// real backups of the database count or go); with `dryRun` only says which
// it would remove. `todayCounts`: today's backup counts as present though it
// is not yet there (a dry run whose purge would make it), so a dry run names
// what the real run removes. Unless `runLockHeld` (the caller, a purge,
// holds the run lock of the database already), a run that removes takes the
// run lock first, and refuses while another purge, restore or retention
// holds it; a dry run takes no lock. With `json` set, fills it instead of
// writing human text to `out`. 0 done; 2 `keep` < 1 (nothing removed); 3
// another run holds the run lock (nothing removed); 4 the database's folder
// is missing; 1 a backup could not be removed (the others still were; each
// failure on `err`).
int keepBackupsCommand(const QString& dbPath, int keep, const QDate& today, bool dryRun, QJsonObject* json,
                       QTextStream& out, QTextStream& err, bool todayCounts = false, bool runLockHeld = false);

}  // namespace cli
