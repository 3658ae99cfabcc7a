// The database file as a whole: the day's backup copy and the compaction
// that gives back the space of deleted rows.
#pragma once

#include <cstdint>

#include <QDate>
#include <QString>

#include "platform/core/status.h"
#include "platform/filesafety/run_lock.h"

// The program's database, "C:\kestrova\kestrova.mdb".
QString defaultDatabasePath();

// What the progress window names the backup step after: the typo is the
// program's own text, "kestrova.mdb databse".
QString backupFileCaption();

// The day's backup beside the database `dbPath`: its folder, "kvbackup",
// `day` as ddMMyyyy and ".mdb" ("C:\kestrova\kvbackup05032004.mdb").
QString backupPathFor(const QString& dbPath, const QDate& day);

// The compaction's temporary file beside the database `dbPath`:
// "kvTemp.mdb" in its folder ("c:\kestrova\kvTemp.mdb" for the program's
// database).
QString compactionTempPathFor(const QString& dbPath);

// What the operator is told of a database file that is not there: the
// platform's text for ENOENT, ": " and the path the file was looked for at
// (after the drive mapping).
QString missingDatabaseText(const QString& dbPath);

// True when a backup is at `backupPath`: FileExists (whose run-time error,
// a name that cannot be looked up, it lets through), and a regular file,
// not a link, that begins as an SQLite database and holds the shop's tables
// (backups::standingOf).
bool BackupExists(const QString& backupPath);

// True when today's backup of the database `dbPath` is at `backupPath`:
// BackupExists, and not the database itself under another name (a hard
// link). What the run and the dry run count as today's backup.
bool TodaysBackupFound(const QString& dbPath, const QString& backupPath);

// Readies a run on the database `dbPath` before anything is changed: takes
// the run lock (one run at a time per database, window and command line
// alike), then recovers what an interrupted writer left beside the
// database, on a copy first (db::recoverLeftovers). True with `lock` held.
// False after one warning box, `refusal` saying why and nothing changed,
// when another run holds the lock (EBUSY, runlock::kBusyText) or when the
// journal or WAL beside the database would damage it (SQLITE_CORRUPT) or
// cannot be tried (the errno of the trial copy).
bool PrepareRun(const QString& dbPath, runlock::RunLock& lock, Status& refusal);

// Checks before a run changes anything that it can finish: the free space
// beside the database `dbPath` must hold the compacted copy and, when
// `backupNeeded`, today's backup as well (each as large as the database),
// and the process's file-size limit must allow a file that size. True when
// it can, or when the database is not there to measure (the steps say
// why). False after one warning box with the figures, `refusal` ENOSPC or
// EFBIG.
bool CheckRoom(const QString& dbPath, bool backupNeeded, Status& refusal);

// Copies the database `dbPath` to `backupPath` (replacing a backup there),
// naming the step in the progress window. A journal or WAL that a writer
// which is gone left beside the database is first recovered, so the copy is
// of the recovered file. True when the copy is present at `backupPath`. On
// failure false, errNum/errDesc set by CopyFile, and the warning box "Please
// close the 'Kestrova.mdb' database file ..." shown with the description;
// anything at `backupPath` but a folder or a backup (backups::standingOf
// Foreign: a link, the database itself, no shop database) is refused that
// way too (EEXIST, the description naming the path), nothing changed; so is
// a journal or WAL that would damage the database if played back
// (SQLITE_CORRUPT). When the
// database itself is missing the description is missingDatabaseText, so the
// operator learns where it was looked for.
bool BackupDB(const QString& dbPath, const QString& backupPath, QString& errDesc, int32_t& errNum);

// Checks the database `dbPath` before the purge changes it: the tables the
// purge reads and their indexes must pass SQLite's integrity check. True
// when they do, or when the check cannot read the database at all (missing,
// no database, schema unreadable: every purge then fails on the same fault
// and deletes nothing). False after one warning box through
// ShowProcessFailed when the database is damaged (the check's first lines)
// or is no regular file (a FIFO, a device: never opened).
bool CheckDB(const QString& dbPath);

// A database in WAL mode is compacted where it is (the engine's
// CompactInPlace): no temporary file, no rename, its other users keep their
// file. Any other database: compacts `dbPath` into the temporary file
// compactionTempPathFor(dbPath), then renames that flushed and checked file
// over the database (files::replaceWith; copied back instead where the
// database is a link into another folder), with other programs' writes to
// the database held off from before the compaction reads it until the new
// file is in place. True when the compacted file replaced the database (no
// temporary file is left). False when a leftover temporary file cannot be
// deleted (after the "Can't Delete a File ..." box; the database is
// untouched), or with errNum/errDesc of the engine (database unchanged) or
// of putting the new file in place (database unchanged, temporary file kept,
// but removed when a copy back ran out of space: ENOSPC, EDQUOT or EFBIG);
// with EBUSY and "The file is in use by another program." when the write
// lock cannot be had within two seconds (database unchanged); no other box
// is shown.
bool CompactDB(const QString& dbPath, QString& errDesc, int32_t& errNum);
