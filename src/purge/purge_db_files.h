// Module PurgeDB, the database file as a whole: the day's backup copy and the
// compaction that gives back the space of deleted rows.
#pragma once

#include <cstdint>

#include <QDate>
#include <QString>

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
// database, as it always was).
QString compactionTempPathFor(const QString& dbPath);

// What the operator is told of a database file that is not there: the
// platform's text for ENOENT, ": " and the path the file was looked for at
// (after the drive mapping).
QString missingDatabaseText(const QString& dbPath);

// True when a file is present at `backupPath` (FileExists).
bool BackupExists(const QString& backupPath);

// Copies the database `dbPath` to `backupPath` (replacing it), naming the
// step in the progress window. True when the copy is present at
// `backupPath`. On failure false, errNum/errDesc set by CopyFile, and the
// warning box "Please close the 'Kestrova.mdb' database file ..." shown with
// the description; when the database itself is missing the description is
// missingDatabaseText, so the operator learns where it was looked for.
bool BackupDB(const QString& dbPath, const QString& backupPath, QString& errDesc, int32_t& errNum);

// Compacts the database `dbPath` through the temporary file
// compactionTempPathFor(dbPath) and copies the result back over it, with other
// programs' writes to the database held off from before the compaction
// reads it until the copy back is done. True when the
// compacted file replaced the database (the temporary file is then removed
// silently). False when a leftover temporary file cannot be deleted (after
// the "Can't Delete a File ..." box; the database is untouched), or with
// errNum/errDesc of the engine (database unchanged) or of the copy back
// (database unchanged, temporary file kept); with EBUSY and "The file is in
// use by another program." when the write lock cannot be had within two
// seconds (database unchanged); no other box is shown.
bool CompactDB(const QString& dbPath, QString& errDesc, int32_t& errNum);
